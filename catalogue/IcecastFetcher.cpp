#include "catalogue/IcecastFetcher.h"

#include "catalogue/Http.h"
#include "catalogue/ServerConfig.h"
#include "catalogue/TulException.h"
#include "catalogue/XmlEncoding.h"
#include "catalogue/XmlOuterText.h"

#include <pugixml.hpp>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

QString FeedText::trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

std::optional<int> FeedText::parseInt(const QString &text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (n > 0 && (text.at(0) == u'-' || text.at(0) == u'+')) {
        negative = text.at(0) == u'-';
        i = 1;
    }
    if (i >= n)
        return std::nullopt;
    long long value = 0;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        const int digit = c.isDigit() ? c.digitValue() : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 10 + digit;
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return int(value);
}

int FeedText::directoryBitrate(const QString &text)
{
    const std::optional<int> value = parseInt(text);
    if (!value || *value > 1000)
        return 0;
    return *value;
}

QString FeedText::elementText(const pugi::xml_node &node)
{
    const pugi::xml_node first = node.first_child();
    if (first && !first.next_sibling() && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata))
        return QString::fromUtf8(first.value()); // the common case: a single text node
    std::string text;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

namespace {

// Refuses a document with text outside its root element or a NUL byte.
void checkOuterText(const QByteArray &body)
{
    switch (findOuterTextProblem(body)) {
    case OuterTextProblem::None: return;
    case OuterTextProblem::NulCharacter:
        throw TulException(QStringLiteral("ParseError"),
                           std::runtime_error("XML parse error: a NUL character in the document"));
    case OuterTextProblem::TextOutsideRoot:
        throw TulException(QStringLiteral("ParseError"),
                           std::runtime_error("XML parse error: text outside the root element"));
    }
}

} // namespace

void FeedText::parseDocument(pugi::xml_document &doc, const QByteArray &body)
{
    checkOuterText(body);
    // A document in an encoding the parser does not decode itself is parsed
    // from its UTF-8 form.
    std::optional<QByteArray> converted;
    try {
        converted = utf8FromDeclaredEncoding(body);
    } catch (const std::exception &e) {
        const std::runtime_error cause(std::string("XML parse error: ") + e.what());
        throw TulException(QStringLiteral("ParseError"), cause);
    }
    const QByteArray &text = converted ? *converted : body;
    // The default flags decode character references and the predefined
    // entities only: no document type is processed and nothing external is
    // ever loaded.
    const pugi::xml_encoding encoding = converted ? pugi::encoding_utf8 : pugi::encoding_auto;
    const pugi::xml_parse_result result =
        doc.load_buffer(text.constData(), std::size_t(text.size()), pugi::parse_default, encoding);
    if (!result) {
        const std::runtime_error cause(std::string("XML parse error: ") + result.description() + " at offset "
                                       + std::to_string(result.offset));
        throw TulException(QStringLiteral("ParseError"), cause);
    }
    int elements = 0;
    for (pugi::xml_node child = doc.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element)
            ++elements;
    if (elements != 1) {
        const std::runtime_error cause("XML parse error: the document has more than one root element");
        throw TulException(QStringLiteral("ParseError"), cause);
    }
}

namespace {
QString childText(const pugi::xml_node &node, const char *name)
{
    return FeedText::trimmed(FeedText::elementText(node.child(name)));
}
} // namespace

struct IcecastFetcher::Document
{
    pugi::xml_document doc;
    pugi::xml_node root;
};

IcecastFetcher::IcecastFetcher() = default;

IcecastFetcher::~IcecastFetcher() = default;

QString IcecastFetcher::directoryUrl()
{
    return QStringLiteral("http://") + ServerConfig::host(ServerConfig::Server::Icecast) + QStringLiteral("/yp.xml");
}

void IcecastFetcher::openDatabase(std::stop_token stop)
{
    openUrl(directoryUrl(), stop);
}

void IcecastFetcher::openUrl(const QString &url, std::stop_token stop)
{
    QByteArray body;
    try {
        Http::Request request;
        request.decode = true;
        request.stop = stop;
        body = Http::get(url, request).body;
    } catch (const Http::HttpError &e) {
        if (e.kind() == Http::HttpError::Kind::InvalidUrl)
            return;
        throw TulException(QStringLiteral("ConnectError"), e);
    }
    parse(body);
}

void IcecastFetcher::parse(const QByteArray &body)
{
    auto parsed = std::make_shared<Document>();
    FeedText::parseDocument(parsed->doc, body);
    parsed->root = parsed->doc.document_element();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_doc = std::move(parsed);
}

std::optional<StreamList> IcecastFetcher::getStreamList()
{
    std::shared_ptr<const Document> doc;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        doc = m_doc;
    }
    if (!doc)
        return std::nullopt;
    StreamList list;
    for (pugi::xml_node entry = doc->root.child("entry"); entry; entry = entry.next_sibling("entry")) {
        const pugi::xml_node listenUrl = entry.child("listen_url");
        if (!listenUrl)
            continue;
        auto stream = std::make_shared<StreamInfo>();
        stream->setName(childText(entry, "server_name"));
        stream->setCategory(childText(entry, "genre"));
        stream->setBitrate(FeedText::directoryBitrate(childText(entry, "bitrate")));
        stream->setUrl(FeedText::trimmed(FeedText::elementText(listenUrl)));
        stream->setFormat(QStringLiteral("Icecast"));
        list.push_back(std::move(stream));
    }
    return list;
}
