#include "catalogue/DownloadedView.h"

void DownloadedView::setDownloadOnRequest(bool download)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_downloadOnRequest = download;
}

bool DownloadedView::getDownloadOnRequest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_downloadOnRequest;
}

void DownloadedView::waitForDownload(std::unique_lock<std::mutex> &lock)
{
    m_downloadEnded.wait(lock, [this] { return !m_downloading; });
}

std::shared_ptr<const StreamList>
DownloadedView::runDownload(std::unique_lock<std::mutex> &lock,
                            const std::function<std::shared_ptr<const StreamList>()> &fetch)
{
    m_downloading = true;
    lock.unlock();
    std::shared_ptr<const StreamList> list = fetch();
    lock.lock();
    m_downloading = false;
    m_allStreams = std::move(list);
    m_downloadEnded.notify_all();
    return m_allStreams;
}

void DownloadedView::buildActiveStreams()
{
    // The rebuild mark stays set: the rows follow the held list on every
    // request (rebuildRows returns at once when nothing changed).
    RowFilter filter;
    filter.catalogue = false;
    rebuildRows(m_allStreams, nullptr, filter);
}
