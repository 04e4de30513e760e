#include "catalogue/IcecastView.h"

#include "catalogue/IcecastFetcher.h"
#include "catalogue/TulException.h"

#include <QDebug>
#include <optional>

namespace {
// Runs the download on fetcher and gives the records of its document (null
// for none); a failure is printed, never thrown.
std::shared_ptr<const StreamList> downloadDirectory(IcecastFetcher &fetcher, std::stop_token stop)
{
    std::shared_ptr<const StreamList> list;
    try {
        try {
            fetcher.openDatabase(stop);
        } catch (const TulException &e) {
            if (!stop.stop_requested())
                qWarning().noquote()
                    << QStringLiteral("Icecast directory not loaded: %1 (%2)").arg(e.getMsg(), e.getMessage());
        }
        if (std::optional<StreamList> streams = fetcher.getStreamList())
            list = std::make_shared<const StreamList>(std::move(*streams));
    } catch (const std::exception &e) {
        qWarning().noquote() << "Icecast directory not loaded:" << e.what();
    } catch (...) {
        qWarning().noquote() << "Icecast directory not loaded";
    }
    return list;
}
} // namespace

IcecastView::IcecastView() = default;

IcecastView::~IcecastView() = default;

std::shared_ptr<const StreamList> IcecastView::load(std::stop_token stop)
{
    std::lock_guard<std::mutex> downloading(m_downloadMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fetcher)
            return m_allStreams;
    }
    auto fetcher = std::make_unique<IcecastFetcher>();
    std::shared_ptr<const StreamList> list = downloadDirectory(*fetcher, stop);
    // The fetcher is kept with its list, in one step: from now on requests
    // may build records from its document.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fetcher = std::move(fetcher);
    m_allStreams = std::move(list);
    return m_allStreams;
}

std::shared_ptr<const StreamList> IcecastView::getAllStreams(bool reload)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ((m_allStreams && !reload) || !m_fetcher)
        return m_allStreams;
    std::optional<StreamList> list = m_fetcher->getStreamList();
    m_allStreams = list ? std::make_shared<const StreamList>(std::move(*list)) : nullptr;
    return m_allStreams;
}
