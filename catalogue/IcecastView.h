#pragma once

#include "catalogue/DownloadedView.h"

#include <memory>
#include <stop_token>

class IcecastFetcher;

// The Icecast tab's view: the public directory's streams, searched by name
// only and sorted like every view. The directory is downloaded once per run,
// by load(), which the catalogue worker calls; a request for rows never
// touches the network and finds no streams until load() has run. A failure
// is printed on the console and leaves the view empty for the rest of the
// run.
//
// Safe to use from the worker and the UI thread at once. The download runs
// outside the view's lock: a request that comes while it runs is not held up
// and finds no streams yet.
class IcecastView : public DownloadedView
{
public:
    IcecastView();
    ~IcecastView() override;

    // The directory has no selectors.
    std::vector<StreamFilterPtr> getLanguages() override { return {}; }
    std::vector<StreamFilterPtr> getCountries() override { return {}; }
    std::vector<StreamFilterPtr> getCategories() override { return {}; }

    // Makes the run's one download of the directory unless it was made
    // already, and gives the held list (null after a failed download). A
    // download that another thread is running is waited for. A stop request
    // ends the download (the view then stays empty).
    std::shared_ptr<const StreamList> load(std::stop_token stop = {});

    // The directory's records: the held list, null while there is none.
    // With reload the records are built anew from the fetcher's document
    // (the directory is not downloaded again).
    std::shared_ptr<const StreamList> getAllStreams(bool reload);

private:
    std::unique_ptr<IcecastFetcher> m_fetcher; // the one download's, once it ended
};
