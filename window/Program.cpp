#include "window/Program.h"

#include "catalogue/Options.h"
#include "window/Application.h"
#include "window/Gui.h"
#include "window/GuiAction.h"
#include "window/SettingsMessages.h"

#include <QApplication>
#include <QLockFile>
#include <cstdio>
#include <memory>

WorkingDirectoryLock lockWorkingDirectory(QLockFile &lock)
{
    // Only a lock whose program still runs counts: one left by a program
    // that crashed is taken over at once.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0))
        return WorkingDirectoryLock::Taken;
    if (lock.error() == QLockFile::LockFailedError)
        return WorkingDirectoryLock::HeldByOther;
    // A folder the program cannot write to: it runs all the same, as it
    // did before, and cannot save its settings there either.
    std::fprintf(stderr, "Cannot lock %s: the folder is not writable\n", qPrintable(lock.fileName()));
    return WorkingDirectoryLock::Unavailable;
}

int runMainWindow(const std::function<void(Gui &)> &started)
{
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    std::unique_ptr<Gui> gui;
    try {
        gui = std::make_unique<Gui>();
        // An end signal ends the run as Quit does, without the question;
        // the exit also ends any dialog's loop.
        if (application) {
            QObject::connect(application, &Application::endRequested, gui.get(), [&gui] {
                gui->close();
                QCoreApplication::exit(0);
            });
        }
        Options::setWriteFailureHandler(
            [](const Options::WriteFailure &failure) { showSaveFailure(failure, QApplication::activeWindow()); });
        gui->open();
        if (started)
            started(*gui);
        // An end signal taken in while the window was built (the first-start
        // question's loop ends with it) leaves no loop to run.
        if (!application || !application->endSignalled())
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
    Options::setWriteFailureHandler({});
    if (!Options::writeToDisk())
        showEndingSaveFailure(Options::lastWriteFailure());
    gui.reset();
    return 0;
}
