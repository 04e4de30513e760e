#pragma once

#include "catalogue/StreamInfo.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace pugi {
class xml_document;
class xml_node;
} // namespace pugi

// Small rules shared by the directory and pay-per-view readers.
namespace FeedText {
// Removes leading and trailing characters whose code is at most 32 (blanks
// and control characters), as the documents' texts are taken.
QString trimmed(const QString &text);
// A decimal integer: an optional sign, then decimal digits only; nothing
// when the text is not one or the value does not fit in 32 bits.
std::optional<int> parseInt(const QString &text);
// The bit rate of a directory entry: the decimal value, 0 when the text is
// not a decimal integer or the value is above 1000 (1000 itself and negative
// values stay).
int directoryBitrate(const QString &text);
// The element's own text (its text and CDATA children joined, not trimmed);
// empty for a missing element.
QString elementText(const pugi::xml_node &node);
// Parses body into doc, decoded by the encoding its XML declaration names.
// Throws TulException "ParseError" when it is not a well-formed document with
// one root element or names an encoding that cannot be decoded here. No
// document type is processed and nothing external is loaded.
void parseDocument(pugi::xml_document &doc, const QByteArray &body);
} // namespace FeedText

// Reader of the public Icecast stream directory ("yp.xml"): a root element
// of any name with one "entry" per stream. Of each entry it takes the texts
// of "server_name" (name), "genre" (category), "bitrate" and "listen_url"
// (URL). An entry without "listen_url" has nothing to play and is left out;
// a missing "server_name", "genre" or "bitrate" gives an empty text or 0.
//
// Thread-safe: a download parses into a new document outside the lock and
// then replaces the kept one, and lists are built from the document kept at
// the time of the call.
class IcecastFetcher
{
public:
    IcecastFetcher();
    virtual ~IcecastFetcher();
    IcecastFetcher(const IcecastFetcher &) = delete;
    IcecastFetcher &operator=(const IcecastFetcher &) = delete;

    // Downloads and parses the directory at directoryUrl(). Throws
    // TulException: "ConnectError" when the download fails (the server cannot
    // be reached, answers with an error status or sends a broken coding),
    // "ParseError" when the document is not well-formed XML. An address that
    // is not a valid URL changes nothing. The earlier document stays kept on
    // every failure. A stop request ends the download ("ConnectError").
    virtual void openDatabase(std::stop_token stop = {});
    // A new list with one record per "entry", in document order; none while
    // no directory was parsed. Each call builds new records.
    virtual std::optional<StreamList> getStreamList();

    // The same for a given address and for a body already in memory.
    void openUrl(const QString &url, std::stop_token stop = {});
    void parse(const QByteArray &body);

    // "http://" + the configured directory host + "/yp.xml".
    static QString directoryUrl();

private:
    struct Document;
    std::mutex m_mutex;
    std::shared_ptr<const Document> m_doc;
};
