#pragma once

#include "catalogue/TulException.h"

#include <functional>
#include <optional>

class PPVView;
class QWidget;
class StreamsManager;

// What a run of the parental filter changed, for the main window.
struct ParentalFilterResult
{
    enum Outcome {
        NothingDone,     // prompt or choices cancelled or closed
        PasswordRefused, // a wrong password was entered ("Password not correct")
        PasswordDialog,  // the set-password dialog was shown
        AdultToggled,    // adult content switched off or on
        PasswordRemoved, // the password was removed
    };
    Outcome outcome = NothingDone;
    // The set-password dialog stored a password (possibly the empty one).
    bool passwordStored = false;
    // The manager's adult-content switch after the run.
    bool adultVisible = false;
    // A catalogue reload was asked for.
    bool reloadRequested = false;
    // Adult content was hidden: the window removes the adult tabs and stops
    // an adult stream that plays, whatever becomes of the reload.
    bool removeAdultTabs = false;
    bool stopAdultStream = false;
    // The reload failed at once (the window's reload normally reports its
    // failures itself, from the loading thread).
    std::optional<TulException> reloadError;
};

// The parental filter action: asks for the password when one is stored,
// offers the four choices and carries out the chosen one. Every dialog and
// box has parent (the main window) as its parent. reloadCatalogue starts a
// catalogue load that reads the new adult-content switches; when a load is
// already running it must see that one through first and then load again
// (a toggle must never be dropped).
class ParentalFilterFlow
{
public:
    static ParentalFilterResult run(QWidget *parent, StreamsManager &manager, PPVView &ppvView,
                                    const std::function<void()> &reloadCatalogue);
};
