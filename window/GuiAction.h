#pragma once

#include <QAction>
#include <functional>

// One command of the main window: a text, an optional accelerator, a push or
// check-box style, an enabled state and a run operation that does the work.
//
// The menu entry and the accelerator (which Qt offers only while the action
// is enabled) call run() after Qt has flipped the check mark of a check-box
// action. Code that runs the command itself calls run() directly: that works
// whatever the enabled state and leaves the check mark alone.
class GuiAction : public QAction
{
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    GuiAction(const QString &text, QObject *parent, Handler handler = {}, bool checkable = false);

    void setHandler(Handler handler) { m_handler = std::move(handler); }

    // Runs the command. An exception that escapes it is printed on the
    // standard error stream and goes no further.
    void run();

    // How many times run() has been entered (for checks).
    int runCount() const { return m_runCount; }

private:
    Handler m_handler;
    int m_runCount = 0;
};

// Prints an exception that escaped a handler, with where it was caught.
void printEscapedException(const char *where, const std::exception *error);
