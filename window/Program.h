#pragma once

#include <functional>

class Gui;

// The program's run once the application object exists: builds and shows
// the main window, runs the event loop until the window closes, then writes
// the settings. A load still running at the close is stopped (its downloads
// end at once) before the settings are written, once. An exception that
// escapes the window is printed; the settings are written all the same.
// started (for checks) runs once the window is shown.
int runMainWindow(const std::function<void(Gui &)> &started = {});
