#include "catalogue/IcecastView.h"

#include "catalogue/IcecastFetcher.h"
#include "catalogue/TulException.h"

#include <QDebug>
#include <optional>

IcecastView::IcecastView() = default;

IcecastView::~IcecastView() = default;

std::shared_ptr<const StreamList> IcecastView::load(std::stop_token stop)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitForDownload(lock);
    if (m_fetcher)
        return m_allStreams;
    return download(lock, stop);
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

std::shared_ptr<const StreamList> IcecastView::download(std::unique_lock<std::mutex> &lock, std::stop_token stop)
{
    m_fetcher = std::make_unique<IcecastFetcher>();
    IcecastFetcher *fetcher = m_fetcher.get();
    return runDownload(lock, [fetcher, stop] {
        std::shared_ptr<const StreamList> list;
        try {
            try {
                fetcher->openDatabase(stop);
            } catch (const TulException &e) {
                if (!stop.stop_requested())
                    qWarning().noquote()
                        << QStringLiteral("Icecast directory not loaded: %1 (%2)").arg(e.getMsg(), e.getMessage());
            }
            if (std::optional<StreamList> streams = fetcher->getStreamList())
                list = std::make_shared<const StreamList>(std::move(*streams));
        } catch (const std::exception &e) {
            qWarning().noquote() << "Icecast directory not loaded:" << e.what();
        } catch (...) {
            qWarning().noquote() << "Icecast directory not loaded";
        }
        return list;
    });
}

void IcecastView::prepareSource()
{
    getAllStreams(false);
}
