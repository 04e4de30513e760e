#pragma once

#include "catalogue/StreamInfo.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

// Reader of the pay-per-view catalogue and the user's rentals
// ("getppv.php"): a root element of any name with a "PPV" child holding a
// "Catalog" of "Entry" elements (attributes "id" and "adult"; children
// "Name", "Bitrate", "Category", "Length") and an "Inventory" of "Purchased"
// elements (attributes "videoid" and "timeleft").
//
// What the reader does with incomplete documents: a document without "PPV"
// is refused as malformed ("ParseError", the earlier document stays); a
// missing "Catalog" or "Inventory" counts as empty; an "Entry" whose "id" is
// not a decimal integer is left out; a missing "Name" or "Category" gives an
// empty text and a missing or non-numeric "Bitrate" or "Length" gives 0; a
// "Purchased" whose "videoid" or "timeleft" is not a decimal integer is
// ignored; a negative "timeleft" counts as no time left.
//
// Thread-safe like IcecastFetcher; the adult switch may be set from any
// thread and applies to lists built afterwards.
class PPVFetcher
{
public:
    PPVFetcher();
    virtual ~PPVFetcher();
    PPVFetcher(const PPVFetcher &) = delete;
    PPVFetcher &operator=(const PPVFetcher &) = delete;

    // Whether adult movies enter the lists built from now on (false at
    // first).
    virtual void setAdultVisible(bool visible);
    bool getAdultVisible() const;
    // Downloads and parses the document at address. Throws TulException:
    // "ConnectError" when the download fails, "ParseError" when the document
    // is not well-formed or has no "PPV" element; the earlier document stays
    // kept. An address that is not a valid URL is printed on the console and
    // changes nothing. A stop request ends the download ("ConnectError").
    virtual void openURL(const QString &address, std::stop_token stop = {});
    // New records from the kept document, adult movies left out while the
    // switch is off, each with its rental time (the last "Purchased" of a
    // movie wins); none while no document was parsed.
    virtual std::optional<std::vector<PPVStreamInfoPtr>> getStreamList();

    // Parses a body already in memory, as openURL does after the download.
    void parse(const QByteArray &body);

private:
    struct Document;
    std::atomic<bool> m_adultVisible{false};
    std::mutex m_mutex;
    std::shared_ptr<const Document> m_doc;
};
