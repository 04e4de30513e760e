#include "window/Application.h"

#include "window/GuiAction.h"

#include <exception>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        printEscapedException("event loop", &e);
    } catch (...) {
        printEscapedException("event loop", nullptr);
    }
    return false;
}
