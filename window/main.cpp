// The program's entry point: takes the working directory (one program per
// folder), reads the settings, runs the main window until it closes or an
// end signal comes, then writes the settings.
#include "catalogue/Options.h"
#include "window/Application.h"
#include "window/Program.h"
#include "window/SettingsMessages.h"

#include <QCoreApplication>
#include <QLockFile>
#include <clocale>

int main(int argc, char **argv)
{
    // The web pages and the video share the window's GL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    // The media engine reads numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    app.catchEndSignals();

    // A second program in this folder ends at once and writes nothing.
    QLockFile lock(QString::fromLatin1(WORKING_DIRECTORY_LOCK));
    if (lockWorkingDirectory(lock) == WorkingDirectoryLock::HeldByOther) {
        showAlreadyRunning();
        return 1;
    }

    Options::readFromDisk(nullptr, nullptr, false, true);
    return runMainWindow();
}
