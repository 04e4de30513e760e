#include "window/Program.h"

#include "catalogue/Options.h"
#include "window/Gui.h"
#include "window/GuiAction.h"

#include <QApplication>
#include <memory>

int runMainWindow(const std::function<void(Gui &)> &started)
{
    std::unique_ptr<Gui> gui;
    try {
        gui = std::make_unique<Gui>();
        gui->open();
        if (started)
            started(*gui);
        QApplication::exec();
    } catch (const std::exception &e) {
        printEscapedException("main window", &e);
    } catch (...) {
        printEscapedException("main window", nullptr);
    }

    // The jobs end first (a running load is stopped, its downloads end at
    // once), then the settings are written, once: nothing of this process
    // touches them after that, so a newer file written by another run is
    // never replaced by this one.
    if (gui)
        gui->shutdown();
    Options::writeToDisk();
    gui.reset();
    return 0;
}
