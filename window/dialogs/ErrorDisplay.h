#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class TulException;

// The two ways the main window shows a failure: the plain error box and the
// detailed error dialog. Both are modal, run on the UI thread and return when
// the user has dismissed them.
class ErrorDisplay
{
public:
    ErrorDisplay() = delete;

    // The plain error box on shell: an error icon, the title and the message,
    // and a single OK button.
    static void tulErrorDialog(const QString &title, const QString &message, QWidget *shell);
    // The error dialog (TulErrorDialog) on the top-level window of shell,
    // which callers give as the main window. Its title is always the text of
    // "Error": title is not used.
    static void tulErrorDialog(const QString &title, const QString &message, QWidget *shell, const QStringList &trace,
                               const QString &detail);

    // How every action shows a TulException: the error dialog with the
    // user message, the cause's stack trace and message while
    // enableStackTrace is on, else the plain box with title and message.
    static void show(QWidget *mainWindow, const TulException &error, bool enableStackTrace);
};
