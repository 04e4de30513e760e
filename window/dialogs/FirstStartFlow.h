#pragma once

#include <optional>

class PPVView;
class QWidget;
class StreamsManager;

// The window's first-start step, run when no mode is stored and before the
// first catalogue load: shows the mode choice on parent, records whether the
// user finished it (the user-wizard flag ends false after Finish, true after
// Cancel or the close box) and, when limited mode was chosen, applies it to
// this run at once: adult content is hidden on the manager and the
// pay-per-view view, and the parental lock of limited mode is set, so that
// the first load already leaves adult streams out. Returns the stored mode
// afterwards (none after Cancel).
class FirstStartFlow
{
public:
    static std::optional<bool> run(QWidget *parent, StreamsManager &manager, PPVView &ppvView);
};
