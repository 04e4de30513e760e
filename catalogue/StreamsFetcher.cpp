#include "catalogue/StreamsFetcher.h"

#include "catalogue/Http.h"
#include "catalogue/Options.h"
#include "catalogue/TulException.h"
#include "catalogue/XmlEncoding.h"
#include "catalogue/XmlOuterText.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <unistd.h>

// ---------------------------------------------------------------- NameIndex

NameIndex::NameIndex(const QString &allText)
{
    if (!allText.isNull())
        m_all = std::make_shared<StreamFilter>(0, allText);
}

int NameIndex::add(const QString &name)
{
    const auto found = m_numbers.constFind(name);
    if (found != m_numbers.constEnd())
        return found.value();
    const int number = int(m_names.size()) + 1;
    m_numbers.insert(name, number);
    m_names.push_back(std::make_shared<StreamFilter>(number, name));
    return number;
}

int NameIndex::number(const QString &name) const
{
    return m_numbers.value(name, -1);
}

void NameIndex::clear()
{
    m_numbers.clear();
    m_names.clear();
}

std::vector<StreamFilterPtr> NameIndex::entries() const
{
    std::vector<StreamFilterPtr> result;
    result.reserve(m_names.size() + 1);
    if (m_all)
        result.push_back(m_all);
    result.insert(result.end(), m_names.begin(), m_names.end());
    return result;
}

// ----------------------------------------------------------------- helpers

namespace {

// Runs work(0) .. work(count - 1), each on a thread of its own but the
// first, which runs on the calling thread; a thread that cannot be started
// leaves its part to the calling thread. Returns when every part is done.
void runParallel(size_t count, const std::function<void(size_t)> &work)
{
    std::vector<std::thread> threads;
    std::vector<size_t> inline_;
    for (size_t i = 1; i < count; ++i) {
        try {
            threads.emplace_back(work, i);
        } catch (const std::system_error &) {
            inline_.push_back(i);
        }
    }
    work(0);
    for (const size_t i : inline_)
        work(i);
    for (auto &thread : threads)
        thread.join();
}

// Trims characters up to the blank (the control characters and the space).
void trimBytes(const char *&begin, const char *&end)
{
    while (begin < end && uchar(*begin) <= ' ')
        ++begin;
    while (end > begin && uchar(end[-1]) <= ' ')
        --end;
}

QString trimmedQString(const char *begin, const char *end)
{
    trimBytes(begin, end);
    return QString::fromUtf8(begin, end - begin);
}

// A decimal 32-bit integer with an optional sign, nothing else.
bool parseInt(const char *begin, const char *end, int &value)
{
    if (begin == end)
        return false;
    bool negative = false;
    if (*begin == '-' || *begin == '+') {
        negative = *begin == '-';
        ++begin;
        if (begin == end)
            return false;
    }
    qint64 n = 0;
    for (const char *p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
        if (n > 2147483648ll)
            return false;
    }
    if (negative)
        n = -n;
    if (n > 2147483647ll || n < -2147483648ll)
        return false;
    value = int(n);
    return true;
}

bool equalsIgnoreCase(const char *text, const char *word)
{
    return qstricmp(text, word) == 0;
}

// The text of an element as the XML object model gives it: its text and
// CDATA children joined (nested elements left out).
struct ElementText
{
    const char *begin = nullptr;
    const char *end = nullptr;
    std::string joined; // used when the text is in more than one piece
};

void elementText(const pugi::xml_node &element, ElementText &out)
{
    out.begin = out.end = nullptr;
    out.joined.clear();
    int pieces = 0;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        const pugi::xml_node_type type = child.type();
        if (type != pugi::node_pcdata && type != pugi::node_cdata)
            continue;
        const char *value = child.value();
        const size_t length = std::strlen(value);
        if (pieces == 0) {
            out.begin = value;
            out.end = value + length;
        } else {
            if (pieces == 1)
                out.joined.assign(out.begin, out.end);
            out.joined.append(value, length);
        }
        ++pieces;
    }
    if (pieces > 1) {
        out.begin = out.joined.data();
        out.end = out.joined.data() + out.joined.size();
    } else if (pieces == 0) {
        out.begin = out.end = "";
    }
}

// The texts that many records share (category, language, country, type),
// converted once per builder and handed out as shared strings. number is
// the index number, filled in when the record is registered.
class InternTable
{
public:
    struct Entry
    {
        QString text;
        int number = -1;
    };

    // begin/end: the trimmed UTF-8 text; stable says whether those bytes
    // outlive the build (they do when they point into the parsed document).
    // The entry's address stays valid for the table's life.
    Entry *get(const char *begin, const char *end, bool stable)
    {
        std::string_view key(begin, size_t(end - begin));
        const auto found = m_map.find(key);
        if (found != m_map.end())
            return &found->second;
        if (!stable) {
            m_ownedKeys.emplace_back(key);
            key = m_ownedKeys.back();
        }
        Entry entry;
        entry.text = QString::fromUtf8(begin, end - begin);
        return &m_map.emplace(key, std::move(entry)).first->second;
    }

private:
    std::unordered_map<std::string_view, Entry> m_map;
    std::list<std::string> m_ownedKeys;
};

// The records of one run of Stream elements, built on one thread.
struct RecordChunk
{
    struct Keys
    {
        InternTable::Entry *category;
        InternTable::Entry *language;
        InternTable::Entry *country;
    };
    std::vector<StreamInfoPtr> records; // the kept ones, in document order
    std::vector<Keys> keys;             // one per kept record
    InternTable categories, languages, countries, types;
    bool failed = false;
    std::string error;            // the first broken rule of the run
    std::exception_ptr exception; // a failure of another kind
};

[[noreturn]] void parseError(const std::string &detail)
{
    throw TulException(QStringLiteral("ParseError"), std::runtime_error(detail));
}

int gzipInflateLoop(z_stream &z, QByteArray &out, qint64 maxBytes)
{
    for (;;) {
        if (out.size() == out.capacity() || out.capacity() - out.size() < 65536) {
            const qint64 grow = std::max<qint64>(out.size(), 1 << 20);
            out.reserve(qsizetype(std::min<qint64>(out.size() + grow, maxBytes + 1)));
        }
        const qsizetype before = out.size();
        const qsizetype room = std::min<qint64>(out.capacity() - before, maxBytes + 1 - before);
        if (room <= 0)
            throw std::runtime_error("The decoded data is larger than " + std::to_string(maxBytes) + " bytes");
        out.resize(before + room);
        z.next_out = reinterpret_cast<Bytef *>(out.data() + before);
        z.avail_out = uInt(room);
        const int rc = inflate(&z, Z_NO_FLUSH);
        out.resize(before + (room - qsizetype(z.avail_out)));
        if (out.size() > maxBytes)
            throw std::runtime_error("The decoded data is larger than " + std::to_string(maxBytes) + " bytes");
        if (rc == Z_STREAM_END || rc == Z_BUF_ERROR)
            return rc;
        if (rc != Z_OK)
            throw std::runtime_error(std::string("Not valid gzip data") + (z.msg ? std::string(": ") + z.msg : ""));
    }
}

} // namespace

// --------------------------------------------------------------- document

struct StreamsFetcher::Document
{
    QByteArray buffer; // holds the parsed text when parsed in place
    pugi::xml_document doc;
    pugi::xml_node root;
    pugi::xml_node streams; // first Streams child of the root; may be empty
};

namespace {

// Refuses a document with text outside its root element or a NUL byte.
void checkNoOuterText(const QByteArray &body)
{
    switch (findOuterTextProblem(body)) {
    case OuterTextProblem::None: return;
    case OuterTextProblem::NulCharacter: throw std::runtime_error("A NUL character in the document");
    case OuterTextProblem::TextOutsideRoot: throw std::runtime_error("Text outside the root element");
    }
}

} // namespace

std::shared_ptr<StreamsFetcher::Document> StreamsFetcher::parse(QByteArray body, bool inPlace)
{
    checkNoOuterText(body);
    // A document in an encoding the parser does not decode itself is parsed
    // from its UTF-8 form, which is ours to parse in place.
    pugi::xml_encoding encoding = pugi::encoding_auto;
    if (std::optional<QByteArray> converted = utf8FromDeclaredEncoding(body)) {
        body = std::move(*converted);
        inPlace = true;
        encoding = pugi::encoding_utf8;
    }
    auto document = std::make_shared<Document>();
    pugi::xml_parse_result result;
    if (inPlace) {
        document->buffer = std::move(body);
        document->buffer.detach();
        result = document->doc.load_buffer_inplace(document->buffer.data(), size_t(document->buffer.size()),
                                                    pugi::parse_default, encoding);
    } else {
        result = document->doc.load_buffer(body.constData(), size_t(body.size()), pugi::parse_default, encoding);
    }
    if (!result)
        throw std::runtime_error(std::string(result.description()) + " at offset " + std::to_string(result.offset));
    // The parser accepts fragments; a document has exactly one root element
    // and no text beside it.
    int elements = 0;
    for (pugi::xml_node child = document->doc.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
        case pugi::node_element:
            ++elements;
            document->root = child;
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            for (const char *p = child.value(); *p; ++p)
                if (uchar(*p) > ' ')
                    throw std::runtime_error("Text outside the root element");
            break;
        default:
            break;
        }
    }
    if (elements != 1)
        throw std::runtime_error(elements == 0 ? "No root element" : "More than one root element");
    document->streams = document->root.child("Streams");
    return document;
}

// ------------------------------------------------------------------ gzip

namespace {

// One run of the input as raw deflate data at the default level, primed
// with the 32 KiB before it so that matches reach back across runs. Every
// run but the last ends on a byte boundary with an empty stored block
// (sync flush); the last one ends the deflate stream.
QByteArray deflateRun(const char *data, size_t size, const char *dictionary, size_t dictionarySize, bool last)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("Cannot start the gzip compressor");
    struct End
    {
        z_stream &z;
        ~End() { deflateEnd(&z); }
    } end{z};
    if (dictionarySize > 0)
        deflateSetDictionary(&z, reinterpret_cast<const Bytef *>(dictionary), uInt(dictionarySize));
    QByteArray out;
    out.resize(qsizetype(deflateBound(&z, uLong(size)) + 64));
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    z.avail_in = uInt(size);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    if ((last && rc != Z_STREAM_END) || (!last && (rc != Z_OK || z.avail_in != 0)))
        throw std::runtime_error("gzip compression failed");
    out.resize(qsizetype(z.total_out));
    return out;
}

} // namespace

QByteArray StreamsFetcher::gzipCompress(const QByteArray &data)
{
    // Large inputs are compressed in runs on a few threads and joined into
    // one gzip member (header, one deflate stream, CRC-32 and size).
    constexpr size_t minimumRun = 1 << 20;
    constexpr size_t window = 32768;
    const size_t size = size_t(data.size());
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const size_t runs = std::clamp<size_t>(size / minimumRun, 1, std::min<size_t>(4, hardware));
    const size_t step = (size + runs - 1) / runs;

    std::vector<QByteArray> parts(runs);
    std::vector<uLong> crcs(runs, 0);
    std::vector<std::exception_ptr> failures(runs);
    auto work = [&](size_t i) {
        try {
            const size_t begin = std::min(size, i * step);
            const size_t length = std::min(size, begin + step) - begin;
            const char *p = data.constData() + begin;
            const size_t dictionary = std::min(begin, window);
            parts[i] = deflateRun(p, length, p - dictionary, dictionary, i + 1 == runs);
            crcs[i] = crc32_z(0, reinterpret_cast<const Bytef *>(p), length);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    };
    runParallel(runs, work);
    for (const auto &failure : failures)
        if (failure)
            std::rethrow_exception(failure);

    uLong crc = crcs[0];
    for (size_t i = 1; i < runs; ++i) {
        const size_t begin = std::min(size, i * step);
        crc = crc32_combine(crc, crcs[i], z_off_t(std::min(size, begin + step) - begin));
    }
    qsizetype total = 18;
    for (const auto &part : parts)
        total += part.size();
    QByteArray out;
    out.reserve(total);
    // Header: magic, deflate, no flags, no time, no extra flags, Unix.
    out.append("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    for (const auto &part : parts)
        out.append(part);
    const quint32 isize = quint32(size & 0xffffffffu);
    for (const quint32 value : {quint32(crc), isize})
        for (int shift = 0; shift < 32; shift += 8)
            out.append(char((value >> shift) & 0xff));
    return out;
}

QByteArray StreamsFetcher::gzipDecompress(const QByteArray &data, qint64 maxBytes)
{
    if (data.size() < 2 || uchar(data[0]) != 0x1f || uchar(data[1]) != 0x8b)
        throw std::runtime_error("Not in gzip format");
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        throw std::runtime_error("Cannot start the gzip decoder");
    struct End
    {
        z_stream &z;
        ~End() { inflateEnd(&z); }
    } end{z};
    QByteArray out;
    // The trailer holds the size of the last member (modulo 2^32): a good
    // first guess for the buffer.
    if (data.size() >= 18) {
        const auto *p = reinterpret_cast<const uchar *>(data.constData() + data.size() - 4);
        const quint32 isize = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        if (isize > 0 && qint64(isize) <= maxBytes)
            out.reserve(qsizetype(isize) + 1);
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    for (;;) {
        const int rc = gzipInflateLoop(z, out, maxBytes);
        if (rc == Z_BUF_ERROR)
            throw std::runtime_error("Unexpected end of the gzip data");
        // End of a member: another may follow; anything else after it is
        // ignored.
        if (z.avail_in >= 2 && z.next_in[0] == 0x1f && z.next_in[1] == 0x8b) {
            inflateReset(&z);
            continue;
        }
        return out;
    }
}

// ---------------------------------------------------------------- fetcher

StreamsFetcher::StreamsFetcher() = default;

StreamsFetcher::~StreamsFetcher()
{
    finishCacheWrite();
}

void StreamsFetcher::finishCacheWrite()
{
    if (m_pendingWrite.valid())
        m_cacheWritten = m_pendingWrite.get();
}

bool StreamsFetcher::cacheWritten()
{
    finishCacheWrite();
    return m_cacheWritten;
}

void StreamsFetcher::setAdultVisible(bool visible)
{
    m_adultVisible.store(visible);
}

namespace {

// Writes data to a new file beside path, named path + "." + random letters,
// and syncs it to the disk. The file is created here (never an existing file
// or a link put in its place) with the permissions of the file at path when
// that is a file of its own. Returns the problem, null when written; name
// gets the new file's name as soon as it exists.
QString writeBeside(const QString &path, const QByteArray &data, QString &name)
{
    QFile file;
    for (int attempt = 0;; ++attempt) {
        const QString candidate =
            path + u'.' + QString::number(QRandomGenerator::global()->generate64() >> 16, 36);
        file.setFileName(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        const QFileInfo taken(candidate);
        if ((!taken.exists() && !taken.isSymLink()) || attempt == 16)
            return file.errorString();
    }
    name = file.fileName();
    const QFileInfo existing(path);
    if (existing.isFile() && !existing.isSymLink())
        file.setPermissions(existing.permissions());
    // The flush is checked: a write that fails while the buffer is flushed
    // (a full disk, a file size limit) would leave the file cut short.
    if (file.write(data) != data.size() || !file.flush())
        return file.errorString();
    ::fsync(file.handle()); // where the file system cannot sync, it is written all the same
    file.close();
    return QString();
}

} // namespace

bool StreamsFetcher::writeCache(const QByteArray &body, std::future<std::shared_ptr<const Document>> *parsed) const
{
    // The new cache is written to a temporary file beside the cache file
    // and renamed over it, so an interrupted write never leaves a broken
    // cache, and a symbolic link in its place is replaced rather than
    // written through. The rename waits until the body has loaded (parsed
    // and passed the catalogue's rules); a body that does not load leaves
    // the cache file as it was.
    const QString cacheFile = QString::fromLatin1(CACHE_FILE);
    QString temporary;
    QString problem;
    try {
        problem = writeBeside(cacheFile, gzipCompress(body), temporary);
    } catch (const std::exception &e) {
        problem = QString::fromLocal8Bit(e.what());
    }
    bool keep = true;
    if (parsed) {
        // The rules are checked here, beside the records being built on the
        // worker thread from the same document (both only read it).
        try {
            const std::shared_ptr<const Document> document = parsed->get();
            keep = document && followsRules(*document);
        } catch (const std::future_error &) {
            keep = false; // the load ended without a document
        }
    }
    if (keep && problem.isNull()) {
        std::error_code error;
        std::filesystem::rename(QFile::encodeName(temporary).toStdString(), QFile::encodeName(cacheFile).toStdString(),
                                error);
        if (!error)
            return true;
        problem = QString::fromLocal8Bit(error.message().c_str());
    }
    if (!temporary.isEmpty())
        QFile::remove(temporary);
    if (keep)
        std::cerr << "Cannot write the catalogue cache " << CACHE_FILE << ": " << problem.toLocal8Bit().constData()
                  << std::endl;
    return false;
}

void StreamsFetcher::openURL(const QString &address, std::stop_token stop)
{
    finishCacheWrite();
    QByteArray body;
    try {
        Http::Request request;
        request.decode = true;
        request.maxBytes = m_maxBytes;
        request.stop = stop;
        body = Http::get(address, request).body;
    } catch (const Http::HttpError &e) {
        throw TulException(QStringLiteral("ConnectError"), e);
    }
    // A load stopped once its body had come (the program is closing)
    // leaves the cache file as it was.
    if (stop.stop_requested())
        throw TulException(QStringLiteral("ConnectError"), std::runtime_error("The download was cancelled"));
    // The cache is compressed and written on its own thread (from a shared
    // copy of the body) while the body is parsed and its records are built;
    // it replaces the cache file only when the body parsed and passes the
    // catalogue's rules.
    m_cacheWritten = false;
    std::promise<std::shared_ptr<const Document>> parsed;
    bool writing = false;
    try {
        m_pendingWrite = std::async(std::launch::async, [this, body, document = parsed.get_future()]() mutable {
            return writeCache(body, &document);
        });
        writing = true;
    } catch (const std::system_error &) {
        // No thread to spare: written below, once the body has loaded.
    }
    std::shared_ptr<Document> document;
    try {
        document = parse(body, false);
    } catch (const std::exception &e) {
        if (writing) {
            parsed.set_value(nullptr);
            finishCacheWrite(); // its temporary file is gone when this throws
        }
        throw TulException(QStringLiteral("ParseError"), e);
    }
    if (writing)
        parsed.set_value(document);
    else if (followsRules(*document))
        m_cacheWritten = writeCache(body, nullptr);
    m_doc = std::move(document);
}

void StreamsFetcher::openGZipFile(const QString &path)
{
    finishCacheWrite();
    QByteArray text;
    try {
        // Only a file is read: a device or a named pipe in the cache's place
        // (or a link to one) could give endless data or block the open.
        const QFileInfo info(path);
        if (info.exists() && !info.isFile())
            throw std::runtime_error("Not a file");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        // Compressed data is never larger than what it holds by more than
        // a little: a bigger file is no cache of ours.
        if (file.size() > m_maxBytes + (m_maxBytes >> 6) + 4096)
            throw std::runtime_error("The file is larger than a catalogue can be");
        const QByteArray compressed = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw std::runtime_error(file.errorString().toStdString());
        file.close();
        text = gzipDecompress(compressed, m_maxBytes);
    } catch (const std::exception &e) {
        throw TulException(path, QStringLiteral("FileNotFoundError"), e);
    }
    try {
        m_doc = parse(std::move(text), true);
    } catch (const std::exception &e) {
        throw TulException(path, QStringLiteral("FileReadError"), e);
    }
}

QString StreamsFetcher::infoText(const char *name) const
{
    if (!m_doc)
        return QString();
    const pugi::xml_node info = m_doc->root.child("Info");
    if (!info)
        return QString();
    const pugi::xml_node child = info.child(name);
    if (!child)
        return QString();
    ElementText text;
    elementText(child, text);
    return trimmedQString(text.begin, text.end);
}

QString StreamsFetcher::getUpdateUrl() const
{
    return infoText("UpdateUrl");
}

QString StreamsFetcher::getMOTD() const
{
    return infoText("MOTD");
}

namespace {

enum Field { Name, Language, Country, Bitrate, Format, Type, Live, Category, Url, FieldCount };
const char *const fieldNames[FieldCount] = {"Name", "Language", "Country",  "Bitrate", "Format",
                                            "Type", "Live",     "Category", "Url"};

// The field a child element name stands for, or -1.
int fieldOf(const char *name)
{
    switch (name[0]) {
    case 'N':
        return std::strcmp(name, "Name") == 0 ? Name : -1;
    case 'L':
        if (std::strcmp(name, "Language") == 0)
            return Language;
        return std::strcmp(name, "Live") == 0 ? Live : -1;
    case 'C':
        if (std::strcmp(name, "Country") == 0)
            return Country;
        return std::strcmp(name, "Category") == 0 ? Category : -1;
    case 'B':
        return std::strcmp(name, "Bitrate") == 0 ? Bitrate : -1;
    case 'F':
        return std::strcmp(name, "Format") == 0 ? Format : -1;
    case 'T':
        return std::strcmp(name, "Type") == 0 ? Type : -1;
    case 'U':
        return std::strcmp(name, "Url") == 0 ? Url : -1;
    default:
        return -1;
    }
}

// What the catalogue's rules require of one Stream element: its three
// attributes, a child of each of the nine names (the first of a name
// counts), and an id and a bit rate that are decimal integers.
struct StreamParts
{
    int id = 0;
    bool adult = false;
    bool topStream = false;
    int bitrate = 0;
    pugi::xml_node fields[FieldCount];
};

// Reads the Stream element s, the position-th of its document (counting from
// 1), into parts; false, with the broken rule in error, when it breaks one.
bool readStreamParts(const pugi::xml_node &s, size_t position, StreamParts &parts, ElementText &text,
                     std::string &error)
{
    const pugi::xml_attribute idAttribute = s.attribute("id");
    const pugi::xml_attribute adultAttribute = s.attribute("adult");
    const pugi::xml_attribute topAttribute = s.attribute("topstream");
    if (!idAttribute || !adultAttribute || !topAttribute) {
        error = "Stream " + std::to_string(position) + " lacks one of the attributes id, adult, topstream";
        return false;
    }
    const char *v = idAttribute.value();
    if (!parseInt(v, v + std::strlen(v), parts.id)) {
        error = "Stream " + std::to_string(position) + ": id \"" + v + "\" is not a number";
        return false;
    }
    parts.adult = equalsIgnoreCase(adultAttribute.value(), "true");
    parts.topStream = equalsIgnoreCase(topAttribute.value(), "true");

    for (auto &f : parts.fields)
        f = pugi::xml_node();
    int found = 0;
    for (pugi::xml_node child = s.first_child(); child && found < FieldCount; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const int field = fieldOf(child.name());
        if (field >= 0 && !parts.fields[field]) {
            parts.fields[field] = child; // the first of a name counts
            ++found;
        }
    }
    if (found < FieldCount) {
        for (int i = 0; i < FieldCount; ++i) {
            if (!parts.fields[i]) {
                error = "Stream " + std::to_string(position) + " has no " + fieldNames[i] + " element";
                return false;
            }
        }
    }

    elementText(parts.fields[Bitrate], text);
    const char *b = text.begin, *e = text.end;
    trimBytes(b, e);
    if (!parseInt(b, e, parts.bitrate)) {
        error = "Stream " + std::to_string(position) + ": Bitrate \"" + std::string(b, e) + "\" is not a number";
        return false;
    }
    return true;
}

// Builds the records of nodes[begin, end) into chunk; stops at the first
// element that breaks the catalogue's rules. Reads the document only.
void buildRecords(const std::vector<pugi::xml_node> &nodes, size_t begin, size_t end,
                  const std::atomic<bool> &adultVisible, RecordChunk &chunk)
{
    chunk.records.reserve(end - begin);
    chunk.keys.reserve(end - begin);
    const QString wmpFormat = QStringLiteral("WMP");
    StreamParts parts;
    const pugi::xml_node *fields = parts.fields;
    ElementText text;
    // The trimmed text of a field; true when its bytes lie in the document.
    auto fieldText = [&](Field field, const char *&b, const char *&e) {
        elementText(fields[field], text);
        b = text.begin;
        e = text.end;
        trimBytes(b, e);
        return text.joined.empty();
    };

    for (size_t index = begin; index < end; ++index) {
        if (!readStreamParts(nodes[index], index + 1, parts, text, chunk.error)) {
            chunk.failed = true;
            return;
        }
        const char *b = nullptr, *e = nullptr;
        fieldText(Format, b, e);
        const bool wmp = e - b == 3 && std::memcmp(b, "WMP", 3) == 0;
        if (!wmp || (parts.adult && !adultVisible.load(std::memory_order_relaxed)))
            continue; // dropped: registers nothing

        auto record = std::make_shared<StreamInfo>();
        record->setId(parts.id);
        record->setAdult(parts.adult);
        record->setTopStream(parts.topStream);
        record->setBitrate(parts.bitrate);
        record->setFormat(wmpFormat);
        fieldText(Name, b, e);
        record->setName(QString::fromUtf8(b, e - b));
        bool stable = fieldText(Type, b, e);
        record->setType(chunk.types.get(b, e, stable)->text);
        fieldText(Live, b, e);
        record->setLive(e - b == 4 && qstrnicmp(b, "True", 4) == 0);
        fieldText(Url, b, e);
        record->setUrl(QString::fromUtf8(b, e - b));
        RecordChunk::Keys keys{};
        stable = fieldText(Category, b, e);
        keys.category = chunk.categories.get(b, e, stable);
        stable = fieldText(Language, b, e);
        keys.language = chunk.languages.get(b, e, stable);
        stable = fieldText(Country, b, e);
        keys.country = chunk.countries.get(b, e, stable);
        record->setCategory(keys.category->text);
        record->setLanguage(keys.language->text);
        record->setCountry(keys.country->text);
        chunk.records.push_back(std::move(record));
        chunk.keys.push_back(keys);
    }
}

int registered(InternTable::Entry *entry, NameIndex &index)
{
    if (entry->number < 0)
        entry->number = index.add(entry->text);
    return entry->number;
}

} // namespace

bool StreamsFetcher::followsRules(const Document &document)
{
    if (!document.streams)
        return false;
    StreamParts parts;
    ElementText text;
    std::string error;
    size_t position = 0;
    for (pugi::xml_node s = document.streams.child("Stream"); s; s = s.next_sibling("Stream"))
        if (!readStreamParts(s, ++position, parts, text, error))
            return false;
    return true;
}

std::shared_ptr<StreamList> StreamsFetcher::getStreamList(CatalogueIndexes &indexes, int &latestStreamId) const
{
    if (!m_doc)
        return nullptr;
    const pugi::xml_node streams = m_doc->streams;
    if (!streams)
        parseError("The catalogue has no Streams element");
    const pugi::xml_attribute flush = streams.attribute("flush");
    if (flush && equalsIgnoreCase(flush.value(), "True")) {
        indexes.categories.clear();
        indexes.languages.clear();
    }

    std::vector<pugi::xml_node> nodes;
    for (pugi::xml_node s = streams.child("Stream"); s; s = s.next_sibling("Stream"))
        nodes.push_back(s);

    // Large catalogues are built on a few threads, each a run of elements;
    // the runs are then registered in document order, so the numbers are
    // those of a single pass.
    constexpr size_t recordsPerThread = 2000;
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const size_t runs = std::clamp<size_t>(nodes.size() / recordsPerThread, 1, std::min<size_t>(4, hardware));
    std::vector<RecordChunk> chunks(runs);
    const size_t step = (nodes.size() + runs - 1) / runs;
    runParallel(runs, [&](size_t i) {
        try {
            buildRecords(nodes, std::min(nodes.size(), i * step), std::min(nodes.size(), (i + 1) * step),
                         m_adultVisible, chunks[i]);
        } catch (...) {
            chunks[i].exception = std::current_exception();
        }
    });

    size_t kept = 0;
    for (const RecordChunk &chunk : chunks) {
        if (chunk.exception)
            std::rethrow_exception(chunk.exception);
        if (chunk.failed)
            parseError(chunk.error);
        kept += chunk.records.size();
    }
    auto list = std::make_shared<StreamList>();
    list->reserve(kept);
    for (RecordChunk &chunk : chunks) {
        for (size_t i = 0; i < chunk.records.size(); ++i) {
            StreamInfoPtr &record = chunk.records[i];
            const RecordChunk::Keys &keys = chunk.keys[i];
            if (record->getId() > latestStreamId)
                latestStreamId = record->getId();
            record->setIndexIds(registered(keys.category, indexes.categories),
                                registered(keys.language, indexes.languages),
                                registered(keys.country, indexes.countries));
            list->push_back(std::move(record));
        }
    }
    return list;
}

int StreamsFetcher::getCacheRevision(std::stop_token stop) const
{
    QByteArray body;
    try {
        Http::Request request;
        request.totalTimeoutMs = Http::SMALL_REQUEST_TIMEOUT_MS;
        request.stop = stop;
        body = Http::get(Options::getCacheRevisionUrl(), request).body;
    } catch (const Http::HttpError &) {
        return Options::getCacheRevision();
    }
    return parseRevision(body).value_or(Options::getCacheRevision());
}

std::optional<int> StreamsFetcher::parseRevision(const QByteArray &body)
{
    // The last line, as a line reader gives it: lines end in LF, CR or
    // CR LF; a body without any line gives "0".
    const char *data = body.constData();
    const char *end = data + body.size();
    const char *lastBegin = nullptr, *lastEnd = nullptr;
    const char *p = data;
    while (p < end) {
        const char *lineBegin = p;
        while (p < end && *p != '\n' && *p != '\r')
            ++p;
        lastBegin = lineBegin;
        lastEnd = p;
        if (p < end) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n')
                ++p;
            ++p;
        }
    }
    if (!lastBegin) {
        lastBegin = "0";
        lastEnd = lastBegin + 1;
    }
    trimBytes(lastBegin, lastEnd);
    int revision = 0;
    if (!parseInt(lastBegin, lastEnd, revision))
        return std::nullopt;
    return revision;
}

void StreamsFetcher::parseDocument(const QByteArray &body)
{
    try {
        m_doc = parse(body, false);
    } catch (const std::exception &e) {
        throw TulException(QStringLiteral("ParseError"), e);
    }
}
