#pragma once

#include <QApplication>

class QSocketNotifier;

// The program's application object: an exception that escapes an event
// handler is printed on the standard error stream and the event loop goes
// on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // From here on SIGTERM, SIGINT and SIGHUP (a desktop logout, Ctrl+C, a
    // closed terminal) no longer end the process at once: the first of them
    // is reported by endRequested() on the event loop, so the program ends
    // the way it ends when the user quits. That first one gives the signals
    // their default action back: a further one ends a program that does
    // not respond. A signal ignored at start (nohup) stays ignored.
    void catchEndSignals();
    // Whether one of those signals was taken in.
    bool endSignalled() const { return m_endSignalled; }

signals:
    void endRequested();

private:
    void takeEndSignal();

    QSocketNotifier *m_endNotifier = nullptr;
    bool m_endSignalled = false;
};
