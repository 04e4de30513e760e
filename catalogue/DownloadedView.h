#pragma once

#include "catalogue/StreamsView.h"

#include <memory>
#include <mutex>

// A view whose list is downloaded by the catalogue worker: it holds the list
// the last download published, and runs its downloads one at a time, outside
// the view's lock, so that requests for rows are never held up by one.
class DownloadedView : public StreamsView
{
protected:
    DownloadedView() = default;

    // Makes list (null for none) the held list, with the lock held only for
    // that, and gives it back.
    std::shared_ptr<const StreamList> publish(std::shared_ptr<const StreamList> list);

    // The rows follow the held list on every request.
    void buildActiveStreams() override;

    std::shared_ptr<const StreamList> m_allStreams; // guarded by m_mutex
    // Held for the whole of a download (and not m_mutex): one download at a
    // time.
    std::mutex m_downloadMutex;
};
