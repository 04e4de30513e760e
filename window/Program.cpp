#include "Program.h"

#include "Gui.h"
#include "GuiAction.h"
#include "Options.h"

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

    Options::writeToDisk();
    if (gui && gui->shutdown())
        Options::writeToDisk();
    gui.reset();
    return 0;
}
