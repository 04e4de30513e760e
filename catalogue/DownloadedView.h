#pragma once

#include "catalogue/StreamsView.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A view whose list comes from one download at a time, run outside the
// view's lock: it keeps the downloading mark, lets callers wait for a running
// download to end, publishes the downloaded list and holds the switch that
// says whether a request may download.
class DownloadedView : public StreamsView
{
public:
    // Whether a request may download: true at first.
    void setDownloadOnRequest(bool download);
    bool getDownloadOnRequest() const;

protected:
    DownloadedView() = default;

    // Waits, with the lock held, until no download runs.
    void waitForDownload(std::unique_lock<std::mutex> &lock);
    // Marks a download as running, runs fetch with the lock released, then,
    // with the lock held again, clears the mark, publishes the list fetch
    // gave (null for none) and wakes whoever waits for the download. Called
    // with the lock held and no download running; fetch must not throw.
    std::shared_ptr<const StreamList> runDownload(std::unique_lock<std::mutex> &lock,
                                                  const std::function<std::shared_ptr<const StreamList>()> &fetch);

    // The rows follow the held list on every request.
    void buildActiveStreams() override;

    std::shared_ptr<const StreamList> m_allStreams;
    bool m_downloading = false;
    bool m_downloadOnRequest = true;

private:
    std::condition_variable m_downloadEnded;
};
