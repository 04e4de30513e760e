#include "catalogue/Zlib.h"

#include "catalogue/Parallel.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>
#include <vector>

namespace Zlib {

namespace {

// How an output buffer grows while data is inflated into it.
enum class Growth {
    Doubling, // streamed data: doubled (from 64 KiB) once less than 16 KiB is spare
    Stepped,  // a whole buffer: by its size, at least 1 MiB, once less than 64 KiB is spare
};

// Grows out by growth, never past limit bytes, and returns the room an
// inflate call may fill: the spare room of out, up to limit.
qsizetype outputRoom(QByteArray &out, qint64 limit, Growth growth)
{
    if (growth == Growth::Doubling) {
        if (out.capacity() - out.size() < 16384 && out.size() < limit)
            out.reserve(qsizetype(std::min<qint64>(limit, std::max<qint64>(qint64(out.size()) * 2, 65536))));
    } else if (out.size() == out.capacity() || out.capacity() - out.size() < 65536) {
        const qint64 grow = std::max<qint64>(out.size(), 1 << 20);
        out.reserve(qsizetype(std::min<qint64>(out.size() + grow, limit)));
    }
    return qsizetype(std::min<qint64>(out.capacity() - out.size(), limit - out.size()));
}

// One inflate call straight into the next room bytes of out; out then ends
// after what it produced (returned in produced).
int inflateInto(z_stream &z, QByteArray &out, qsizetype room, qsizetype &produced)
{
    const qsizetype before = out.size();
    out.resize(before + room);
    z.next_out = reinterpret_cast<Bytef *>(out.data() + before);
    z.avail_out = uInt(room);
    const int rc = inflate(&z, Z_NO_FLUSH);
    produced = room - qsizetype(z.avail_out);
    out.resize(before + produced);
    return rc;
}

bool startsGzipMember(const char *data, size_t size)
{
    return size >= 2 && uchar(data[0]) == 0x1f && uchar(data[1]) == 0x8b;
}

} // namespace

// ---------------------------------------------------------------- Inflater

Inflater::Inflater(Format format, QByteArray &out, qint64 maxBytes)
    : m_format(format), m_out(out), m_max(maxBytes), m_z(std::make_unique<z_stream>())
{
}

Inflater::~Inflater()
{
    if (m_zInit)
        inflateEnd(m_z.get());
}

bool Inflater::feed(const char *data, size_t size)
{
    if (m_done)
        return afterEnd(data, size);
    if (!m_zInit) {
        if (m_format == Format::Deflate) {
            // Decide raw versus zlib-wrapped from the first two bytes;
            // keep them until we know.
            m_head.append(data, qsizetype(size));
            if (m_head.size() < 2)
                return true;
            const auto b0 = uchar(m_head[0]);
            const auto b1 = uchar(m_head[1]);
            m_zlibWrapped = (b0 & 0x0f) == 8 && (b0 >> 4) <= 7 && ((b0 << 8) | b1) % 31 == 0;
            if (!start(m_zlibWrapped ? MAX_WBITS : -MAX_WBITS))
                return false;
            QByteArray head;
            head.swap(m_head);
            return inflateChunk(head.constData(), size_t(head.size()));
        }
        if (!start(16 + MAX_WBITS))
            return false;
    }
    return inflateChunk(data, size);
}

bool Inflater::finish()
{
    if (!m_zInit && m_format == Format::Deflate && !m_head.isEmpty()) {
        // One byte of deflate data: only raw deflate can be that short.
        if (!start(-MAX_WBITS))
            return false;
        QByteArray head;
        head.swap(m_head);
        if (!inflateChunk(head.constData(), size_t(head.size())))
            return false;
    }
    if (!m_done)
        return fail(Failure::Truncated);
    return true;
}

bool Inflater::start(int windowBits)
{
    std::memset(m_z.get(), 0, sizeof *m_z);
    if (inflateInit2(m_z.get(), windowBits) != Z_OK)
        return fail(Failure::Start);
    m_zInit = true;
    return true;
}

bool Inflater::inflateChunk(const char *data, size_t size)
{
    z_stream &z = *m_z;
    if (m_zlibWrapped && m_produced == 0 && m_keepInput) {
        // Until the first output byte, keep the input: data that only
        // looked like it had a zlib header is then read again as raw.
        if (m_saved.size() + qsizetype(size) <= 65536)
            m_saved.append(data, qsizetype(size));
        else
            m_keepInput = false;
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    z.avail_in = uInt(size);
    // Inflate straight into the spare room of the output, growing it
    // geometrically; one byte past the limit tells that it was passed.
    for (;;) {
        const qsizetype room = outputRoom(m_out, m_max + 1, Growth::Doubling);
        qsizetype produced = 0;
        const int rc = inflateInto(z, m_out, room, produced);
        if (rc == Z_DATA_ERROR && m_zlibWrapped && m_produced == 0 && m_keepInput)
            return restartRaw();
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            if (z.msg)
                m_detail = z.msg;
            return fail(Failure::Invalid);
        }
        if (produced > 0) {
            m_produced += size_t(produced);
            m_saved.clear();
            if (qint64(m_out.size()) > m_max)
                return fail(Failure::TooLarge);
        }
        if (rc == Z_STREAM_END) {
            m_done = true;
            return afterEnd(reinterpret_cast<const char *>(z.next_in), z.avail_in);
        }
        if (rc == Z_BUF_ERROR || (z.avail_in == 0 && z.avail_out > 0))
            return true; // needs more input
    }
}

// Data after the end of the compressed stream. A further gzip member
// continues the data (as gzip -d reads it); anything else is trailing
// garbage that decoders ignore.
bool Inflater::afterEnd(const char *data, size_t size)
{
    if (m_format != Format::Gzip || m_ignoreRest || size == 0)
        return true;
    m_probe.append(data, qsizetype(size));
    if (m_probe.size() < 2)
        return true; // too short to tell yet
    if (!startsGzipMember(m_probe.constData(), size_t(m_probe.size()))) {
        m_ignoreRest = true;
        m_probe.clear();
        return true;
    }
    inflateReset(m_z.get());
    m_done = false;
    QByteArray next;
    next.swap(m_probe);
    return inflateChunk(next.constData(), size_t(next.size()));
}

bool Inflater::restartRaw()
{
    inflateEnd(m_z.get());
    m_zInit = false;
    m_zlibWrapped = false;
    if (!start(-MAX_WBITS))
        return false;
    QByteArray saved;
    saved.swap(m_saved);
    return inflateChunk(saved.constData(), size_t(saved.size()));
}

bool Inflater::fail(Failure failure)
{
    m_failure = failure;
    return false;
}

// -------------------------------------------------------------------- gzip

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

// Inflates the input of z into out until the end of a gzip member
// (Z_STREAM_END) or of the input (Z_BUF_ERROR); throws for invalid data and
// for output past maxBytes.
int gzipInflateLoop(z_stream &z, QByteArray &out, qint64 maxBytes)
{
    for (;;) {
        const qsizetype room = outputRoom(out, maxBytes + 1, Growth::Stepped);
        if (room <= 0)
            throw std::runtime_error("The decoded data is larger than " + std::to_string(maxBytes) + " bytes");
        qsizetype produced = 0;
        const int rc = inflateInto(z, out, room, produced);
        if (out.size() > maxBytes)
            throw std::runtime_error("The decoded data is larger than " + std::to_string(maxBytes) + " bytes");
        if (rc == Z_STREAM_END || rc == Z_BUF_ERROR)
            return rc;
        if (rc != Z_OK)
            throw std::runtime_error(std::string("Not valid gzip data") + (z.msg ? std::string(": ") + z.msg : ""));
    }
}

} // namespace

QByteArray gzipCompress(const QByteArray &data)
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

QByteArray gzipDecompress(const QByteArray &data, qint64 maxBytes)
{
    if (!startsGzipMember(data.constData(), size_t(data.size())))
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
        if (startsGzipMember(reinterpret_cast<const char *>(z.next_in), z.avail_in)) {
            inflateReset(&z);
            continue;
        }
        return out;
    }
}

} // namespace Zlib
