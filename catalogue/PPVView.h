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
// The catalogue worker downloads with reload(); a request for rows only ever
// gives the held list (none while nothing was ever loaded) and never touches
// the network. A failed download is not reported: the list is rebuilt from
// the last good document, or stays empty.
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

    // Downloads the catalogue and publishes the new list. A download that
    // another thread is running is waited for first, so this one starts
    // afterwards. The list published: after a failure the one rebuilt from
    // the last good document, null while no download ever succeeded. A stop
    // request ends the download, as a failed one.
    std::shared_ptr<const StreamList> reload(std::stop_token stop = {});

    // The catalogue's records (PPVStreamInfo): the held list, null while no
    // download ever succeeded.
    std::shared_ptr<const StreamList> getAllStreams() const;

private:
    // The held list (m_allStreams) has PPVStreamInfo records.
    std::unique_ptr<PPVFetcher> m_fetcher;
    std::vector<PPVStreamInfoPtr> m_ppvActive;
};
