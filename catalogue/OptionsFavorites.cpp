#include "catalogue/Options.h"

#include "catalogue/OptionsState.h"
#include "catalogue/StreamsManager.h"

#include <memory>
#include <mutex>

using OptionsState::State;
using OptionsState::state;
using OptionsState::stateMutex;

void OptionsState::bindStored(StreamsManager *manager)
{
    if (!manager)
        return;
    const std::shared_ptr<const StreamMap> map = manager->getStreamMap();
    if (!map)
        return;
    std::lock_guard lock(stateMutex());
    state().favorites.bindStored(*map);
}

std::optional<std::vector<StreamInfoPtr>> Options::loadFavorites()
{
    bool first = false;
    StreamsManager *manager = nullptr;
    {
        std::lock_guard lock(stateMutex());
        first = !state().once;
        state().once = true;
        manager = state().manager;
    }
    if (first)
        readFromDisk(nullptr, nullptr, true, false);
    else
        OptionsState::bindStored(manager);

    std::lock_guard lock(stateMutex());
    const State &s = state();
    if (!s.fileRead && s.favorites.empty())
        return std::nullopt;
    return s.favorites.records();
}

void Options::addFavorite(const StreamInfoPtr &stream)
{
    std::lock_guard lock(stateMutex());
    state().favorites.add(stream);
}

void Options::removeFavorite(const StreamInfoPtr &stream)
{
    if (!stream)
        return;
    std::lock_guard lock(stateMutex());
    state().favorites.remove(stream);
}
