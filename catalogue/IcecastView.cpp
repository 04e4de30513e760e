#include "IcecastView.h"

#include "IcecastFetcher.h"
#include "TulException.h"

#include <QDebug>

IcecastView::IcecastView() = default;

IcecastView::~IcecastView() = default;

std::shared_ptr<const StreamList> IcecastView::getAllStreams(bool reload)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if ((m_allStreams && !reload) || m_downloading)
        return m_allStreams;
    if (!m_fetcher) {
        m_fetcher = std::make_unique<IcecastFetcher>();
        m_downloading = true;
        IcecastFetcher *fetcher = m_fetcher.get();
        lock.unlock();
        std::optional<StreamList> list;
        try {
            try {
                fetcher->openDatabase();
            } catch (const TulException &e) {
                qWarning().noquote() << QStringLiteral("Icecast directory not loaded: %1 (%2)").arg(e.getMsg(), e.getMessage());
            }
            list = fetcher->getStreamList();
        } catch (const std::exception &e) {
            qWarning().noquote() << "Icecast directory not loaded:" << e.what();
        }
        lock.lock();
        m_downloading = false;
        if (list)
            m_allStreams = std::make_shared<const StreamList>(std::move(*list));
        return m_allStreams;
    }
    std::optional<StreamList> list = m_fetcher->getStreamList();
    m_allStreams = list ? std::make_shared<const StreamList>(std::move(*list)) : nullptr;
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
