#pragma once

#include <functional>

class Gui;
class QLockFile;

// The lock of the working directory ("options.xml.lock"): one program per
// folder, so that a second one never writes its settings over the first's.
enum class WorkingDirectoryLock { Taken, HeldByOther, Unavailable };
WorkingDirectoryLock lockWorkingDirectory(QLockFile &lock);
inline const char WORKING_DIRECTORY_LOCK[] = "options.xml.lock";

// The program's run once the application object exists: builds and shows
// the main window, runs the event loop until the window closes, then writes
// the settings. A load still running at the close is stopped (its downloads
// end at once) before the settings are written, once. An exception that
// escapes the window is printed; the settings are written all the same.
// SIGTERM, SIGINT and SIGHUP (once Application::catchEndSignals was called)
// close the window as Quit does, without its question. A failed save is
// shown to the user: during the run in a box over the window, at the end in
// a box that does not wait for good (showEndingMessage).
// started (for checks) runs once the window is shown.
int runMainWindow(const std::function<void(Gui &)> &started = {});
