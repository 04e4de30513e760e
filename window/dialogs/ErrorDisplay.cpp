#include "window/dialogs/ErrorDisplay.h"

#include "catalogue/TulException.h"
#include "window/dialogs/PlainText.h"
#include "window/dialogs/TulErrorDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {
// Message boxes and dialogs always get a parent; a caller without one gets
// the active window, so the box is still centred on and modal to the
// program's window.
QWidget *ownerFor(QWidget *widget)
{
    if (widget)
        return widget->window();
    return QApplication::activeWindow();
}
} // namespace

void ErrorDisplay::tulErrorDialog(const QString &title, const QString &message, QWidget *shell)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    const auto box =
        plainMessageBox(QMessageBox::Critical, title, message, QMessageBox::Ok, shell ? shell : ownerFor(nullptr));
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
}

void ErrorDisplay::tulErrorDialog(const QString &title, const QString &message, QWidget *shell,
                                  const QStringList &trace, const QString &detail)
{
    Q_UNUSED(title);
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    TulErrorDialog dialog(ownerFor(shell), message, trace, detail);
    dialog.openDialog();
}

void ErrorDisplay::show(QWidget *mainWindow, const TulException &error, bool enableStackTrace)
{
    if (enableStackTrace)
        tulErrorDialog(error.getTitle(), error.getMsg(), mainWindow, error.getStackTrace(), error.getMessage());
    else
        tulErrorDialog(error.getTitle(), error.getMsg(), mainWindow);
}
