#pragma once

#include <QApplication>

// The program's application object: an exception that escapes an event
// handler is printed on the standard error stream and the event loop goes
// on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
