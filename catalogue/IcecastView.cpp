#include "IcecastView.h"

#include "IcecastFetcher.h"
#include "TulException.h"

#include <QDebug>
#include <optional>

IcecastView::IcecastView() = default;

IcecastView::~IcecastView() = default;

void IcecastView::setDownloadOnRequest(bool download)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_downloadOnRequest = download;
}

bool IcecastView::getDownloadOnRequest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_downloadOnRequest;
}

std::shared_ptr<const StreamList> IcecastView::load()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_downloadEnded.wait(lock, [this] { return !m_downloading; });
    if (m_fetcher)
        return m_allStreams;
    return download(lock);
}

std::shared_ptr<const StreamList> IcecastView::getAllStreams(bool reload)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if ((m_allStreams && !reload) || m_downloading)
        return m_allStreams;
    if (!m_fetcher) {
        if (!m_downloadOnRequest)
            return m_allStreams;
        return download(lock);
    }
    std::optional<StreamList> list = m_fetcher->getStreamList();
    m_allStreams = list ? std::make_shared<const StreamList>(std::move(*list)) : nullptr;
    return m_allStreams;
}

std::shared_ptr<const StreamList> IcecastView::download(std::unique_lock<std::mutex> &lock)
{
    m_fetcher = std::make_unique<IcecastFetcher>();
    m_downloading = true;
    IcecastFetcher *fetcher = m_fetcher.get();
    lock.unlock();
    std::shared_ptr<const StreamList> list;
    try {
        try {
            fetcher->openDatabase();
        } catch (const TulException &e) {
            qWarning().noquote() << QStringLiteral("Icecast directory not loaded: %1 (%2)").arg(e.getMsg(), e.getMessage());
        }
        if (std::optional<StreamList> streams = fetcher->getStreamList())
            list = std::make_shared<const StreamList>(std::move(*streams));
    } catch (const std::exception &e) {
        qWarning().noquote() << "Icecast directory not loaded:" << e.what();
    } catch (...) {
        qWarning().noquote() << "Icecast directory not loaded";
    }
    lock.lock();
    m_downloading = false;
    m_allStreams = std::move(list);
    m_downloadEnded.notify_all();
    return m_allStreams;
}

void IcecastView::prepareSource()
{
    getAllStreams(false);
}

void IcecastView::buildActiveStreams()
{
    // The rebuild mark stays set: the rows follow the held list on every
    // request (rebuildRows returns at once when nothing changed).
    RowFilter filter;
    filter.catalogue = false;
    rebuildRows(m_allStreams, filter);
}
