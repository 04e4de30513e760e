#pragma once

#include "StreamsView.h"

#include <memory>

class IcecastFetcher;

// The Icecast tab's view: the public directory's streams, searched by name
// only and sorted like every view. The directory is downloaded once per run,
// by the first request (the catalogue worker makes it); a failure is printed
// on the console and leaves the view empty for the rest of the run.
//
// Safe to use from the worker and the UI thread at once. The download runs
// outside the view's lock: a request that comes while it runs is not held up
// and finds no streams yet.
class IcecastView : public StreamsView
{
public:
    IcecastView();
    ~IcecastView() override;

    // The directory has no selectors.
    std::vector<StreamFilterPtr> getLanguages() override { return {}; }
    std::vector<StreamFilterPtr> getCountries() override { return {}; }
    std::vector<StreamFilterPtr> getCategories() override { return {}; }

    // The directory's records: the held list, downloading it on the first
    // call; null while there is none. With reload the records are built anew
    // from the fetcher's document (the directory is not downloaded again).
    std::shared_ptr<const StreamList> getAllStreams(bool reload);

protected:
    void prepareSource() override;
    void buildActiveStreams() override;

private:
    std::unique_ptr<IcecastFetcher> m_fetcher; // created by the first request
    std::shared_ptr<const StreamList> m_allStreams;
    bool m_downloading = false;
};
