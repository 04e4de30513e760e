#pragma once

#include "catalogue/Favorites.h"
#include "catalogue/Options.h"

#include <QString>
#include <mutex>
#include <optional>

class StreamsManager;

// The process-wide state behind Options, shared by the files that implement
// it (settings, settings file, favourites). Everything in State is read and
// written under stateMutex() only.
namespace OptionsState {

struct State
{
    QString serial; // null while unset
    bool updateEnabled = true;
    std::optional<bool> mode;
    bool userWizardEnabled = true;
    int cacheRevision = 0;
    QString passwd; // null while unset
    QString language = QStringLiteral("en");
    int lastStreamId = 0;
    std::optional<bool> notPersistentMode;
    StreamsManager *manager = nullptr;

    Favorites favorites;
    bool fileRead = false; // a settings file was read, so stored favourites are known
    bool keepAside = false; // the file on disk could not be read: move it aside before replacing it
    bool once = false;     // the first loadFavorites of the run has bound the stored ones
    QString limitedModeHash; // the hash limited mode stored last, to avoid hashing again
    Options::WriteFailure lastWriteFailure; // of the last save; no reason once one succeeded
};

std::mutex &stateMutex();
State &state();
// Serialises the writers of the file (the state lock is not held while the
// file is written).
std::mutex &fileMutex();

// Reads "options.xml" into the state (OptionsFile.cpp). Takes the state lock
// itself; called without it.
void readFile();
// Binds the stored favourites to the manager's catalogue (OptionsFavorites.cpp).
// Takes the state lock itself, after asking the manager for its catalogue;
// called without it.
void bindStored(StreamsManager *manager);

} // namespace OptionsState
