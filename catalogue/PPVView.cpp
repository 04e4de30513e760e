#include "catalogue/PPVView.h"

#include "catalogue/Options.h"
#include "catalogue/PPVFetcher.h"
#include "catalogue/TulException.h"

#include <algorithm>
#include <optional>

PPVView::PPVView() : m_fetcher(std::make_unique<PPVFetcher>())
{
}

PPVView::~PPVView() = default;

void PPVView::setAdultVisible(bool visible)
{
    m_fetcher->setAdultVisible(visible);
}

std::vector<PPVStreamInfoPtr> PPVView::getPpvActive() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ppvActive;
}

void PPVView::clearPpvActive()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ppvActive.clear();
}

void PPVView::addActive(const PPVStreamInfoPtr &movie)
{
    if (!movie)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = movie->getId();
    const bool known = std::any_of(m_ppvActive.begin(), m_ppvActive.end(),
                                   [id](const PPVStreamInfoPtr &m) { return m->getId() == id; });
    if (!known)
        m_ppvActive.push_back(movie);
}

void PPVView::addActiveStream(const StreamInfoPtr &stream)
{
    if (auto movie = std::dynamic_pointer_cast<PPVStreamInfo>(stream))
        addActive(movie);
}

std::vector<PPVStreamInfoPtr> PPVView::getActivePpvStreams()
{
    std::vector<PPVStreamInfoPtr> out;
    for (const StreamInfoPtr &row : getActiveStreams())
        out.push_back(std::static_pointer_cast<PPVStreamInfo>(row));
    return out;
}

std::shared_ptr<const StreamList> PPVView::getAllStreams() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allStreams;
}

std::shared_ptr<const StreamList> PPVView::reload(std::stop_token stop)
{
    // One download at a time: the fetcher keeps one document.
    std::lock_guard<std::mutex> downloading(m_downloadMutex);
    std::shared_ptr<const StreamList> list;
    try {
        try {
            m_fetcher->openURL(Options::getPpvUrlFetch(), stop);
        } catch (const TulException &) {
            // Not reported: the list of the last good document stays.
        }
        if (std::optional<std::vector<PPVStreamInfoPtr>> movies = m_fetcher->getStreamList())
            list = std::make_shared<const StreamList>(movies->begin(), movies->end());
    } catch (...) {
        // Whatever else fails here must not reach the caller's thread.
    }
    return publish(std::move(list));
}
