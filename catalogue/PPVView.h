#pragma once

#include "catalogue/DownloadedView.h"

#include <memory>
#include <stop_token>
#include <vector>

class PPVFetcher;

// The Pay Tv tab's view: the pay-per-view movies with the user's rental
// times, searched by name only and sorted like every view, and the list of
// rented movies that still have time left, which the window fills.
//
// By default the catalogue is downloaded by the first request and again by
// the first request after clearStreams. A failed download is not reported:
// the list is rebuilt from the last good document, or stays empty, and then
// the next request tries again.
//
// A view whose rows are asked for on the UI thread turns downloading on
// request off (setDownloadOnRequest(false)): a request then only ever gives
// the held list, and the catalogue worker downloads with reload().
//
// Safe to use from the worker and the UI thread at once. The download runs
// outside the view's lock; a request that comes while it runs is not held up
// and gets the list held until then.
class PPVView : public DownloadedView
{
public:
    PPVView();
    ~PPVView() override;

    std::vector<StreamFilterPtr> getLanguages() override { return {}; }
    std::vector<StreamFilterPtr> getCountries() override { return {}; }
    std::vector<StreamFilterPtr> getCategories() override { return {}; }

    // Whether adult movies are listed; takes effect at the next download.
    virtual void setAdultVisible(bool visible);
    // The rented movies with time left, in the order added.
    virtual std::vector<PPVStreamInfoPtr> getPpvActive() const;
    // Forgets the loaded list: the next request downloads again (while
    // downloading on request is on; else the held list stays until reload).
    virtual void clearStreams();
    // Empties the rented list.
    virtual void clearPpvActive();
    // Appends movie to the rented list unless a movie with its identifier is
    // already there.
    virtual void addActive(const PPVStreamInfoPtr &movie);
    // The same for a table row; rows that are not pay-per-view movies are
    // ignored.
    void addActiveStream(const StreamInfoPtr &stream);

    // The rows of getActiveStreams as pay-per-view records.
    std::vector<PPVStreamInfoPtr> getActivePpvStreams();

    // Whether a request (getActiveStreams, getAllStreams) may download
    // (setDownloadOnRequest): true at first. Off, a request never touches the
    // network and gives the held list (none while nothing was ever loaded);
    // only reload downloads.

    // Forgets the held list, downloads the catalogue and publishes the new
    // list, whatever the download-on-request switch says. A download that
    // another thread is running is waited for first, so this one starts
    // afterwards. The list published: after a failure the one rebuilt from
    // the last good document, null while no download ever succeeded. A stop
    // request ends the download, as a failed one.
    std::shared_ptr<const StreamList> reload(std::stop_token stop = {});

    // The catalogue's records (PPVStreamInfo). While downloading on request
    // is on, downloads when none is held or the held one was forgotten, or
    // always with reload; null while no download ever succeeded. Off, the
    // held list, never downloading.
    std::shared_ptr<const StreamList> getAllStreams(bool reload);

protected:
    void prepareSource() override;

private:
    // Runs one download and publishes its list; called with the lock held
    // and no download running, returns with it held again.
    std::shared_ptr<const StreamList> download(std::unique_lock<std::mutex> &lock, std::stop_token stop = {});

    std::unique_ptr<PPVFetcher> m_fetcher;
    // The held list (m_allStreams) has PPVStreamInfo records.
    bool m_stale = false;
    std::vector<PPVStreamInfoPtr> m_ppvActive;
};
