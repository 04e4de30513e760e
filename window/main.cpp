// The program's entry point: reads the settings, runs the main window until
// it closes, then writes the settings.
#include "catalogue/Options.h"
#include "window/Application.h"
#include "window/Program.h"

#include <QCoreApplication>
#include <clocale>

int main(int argc, char **argv)
{
    Options::readFromDisk(nullptr, nullptr, false, true);

    // The web pages and the video share the window's GL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    // The media engine reads numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");

    return runMainWindow();
}
