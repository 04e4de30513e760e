#include "catalogue/DownloadedView.h"

std::shared_ptr<const StreamList> DownloadedView::publish(std::shared_ptr<const StreamList> list)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_allStreams = std::move(list);
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
