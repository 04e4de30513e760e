#include "catalogue/PPVFetcher.h"

#include "catalogue/Http.h"
#include "catalogue/IcecastFetcher.h"
#include "catalogue/Options.h"
#include "catalogue/TulException.h"

#include <QDebug>
#include <pugixml.hpp>

#include <stdexcept>

namespace {
QString childText(const pugi::xml_node &node, const char *name)
{
    return FeedText::trimmed(FeedText::elementText(node.child(name)));
}

std::optional<int> attributeInt(const pugi::xml_node &node, const char *name)
{
    return FeedText::parseInt(FeedText::trimmed(QString::fromUtf8(node.attribute(name).value())));
}
} // namespace

struct PPVFetcher::Document
{
    pugi::xml_document doc;
    pugi::xml_node ppv;
};

PPVFetcher::PPVFetcher() = default;

PPVFetcher::~PPVFetcher() = default;

void PPVFetcher::setAdultVisible(bool visible)
{
    m_adultVisible = visible;
}

bool PPVFetcher::getAdultVisible() const
{
    return m_adultVisible;
}

void PPVFetcher::openURL(const QString &address, std::stop_token stop)
{
    QByteArray body;
    try {
        Http::Request request;
        request.decode = true;
        request.stop = stop;
        body = Http::get(address, request).body;
    } catch (const Http::HttpError &e) {
        if (e.kind() == Http::HttpError::Kind::InvalidUrl) {
            qWarning().noquote() << "Pay-per-view catalogue address not valid:" << address << "-" << e.what();
            return;
        }
        throw TulException(QStringLiteral("ConnectError"), e);
    }
    parse(body);
}

void PPVFetcher::parse(const QByteArray &body)
{
    auto parsed = std::make_shared<Document>();
    FeedText::parseDocument(parsed->doc, body);
    parsed->ppv = parsed->doc.document_element().child("PPV");
    if (!parsed->ppv) {
        const std::runtime_error cause("the pay-per-view document has no PPV element");
        throw TulException(QStringLiteral("ParseError"), cause);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_doc = std::move(parsed);
}

std::optional<std::vector<PPVStreamInfoPtr>> PPVFetcher::getStreamList()
{
    std::shared_ptr<const Document> doc;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        doc = m_doc;
    }
    if (!doc)
        return std::nullopt;
    const bool adultVisible = m_adultVisible;
    std::vector<PPVStreamInfoPtr> list;
    const pugi::xml_node catalog = doc->ppv.child("Catalog");
    for (pugi::xml_node entry = catalog.child("Entry"); entry; entry = entry.next_sibling("Entry")) {
        const std::optional<int> id = attributeInt(entry, "id");
        if (!id)
            continue;
        const bool adult =
            QString::fromUtf8(entry.attribute("adult").value()).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        if (adult && !adultVisible)
            continue;
        auto movie = std::make_shared<PPVStreamInfo>();
        movie->setId(*id);
        movie->setName(childText(entry, "Name"));
        movie->setBitrate(FeedText::parseInt(childText(entry, "Bitrate")).value_or(0));
        movie->setCategory(childText(entry, "Category"));
        movie->setLength(FeedText::parseInt(childText(entry, "Length")).value_or(0));
        movie->setAdult(adult);
        movie->setUrl(Options::getPpvMovieUrl(*id));
        movie->setFormat(QStringLiteral("WMP"));
        movie->setType(QStringLiteral("PPV"));
        list.push_back(std::move(movie));
    }
    const pugi::xml_node inventory = doc->ppv.child("Inventory");
    for (pugi::xml_node rental = inventory.child("Purchased"); rental; rental = rental.next_sibling("Purchased")) {
        const std::optional<int> videoId = attributeInt(rental, "videoid");
        const std::optional<int> timeLeft = attributeInt(rental, "timeleft");
        if (!videoId || !timeLeft)
            continue;
        for (const PPVStreamInfoPtr &movie : list)
            if (movie->getId() == *videoId)
                movie->setTimeLeft(*timeLeft);
    }
    return list;
}
