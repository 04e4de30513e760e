#include "window/SettingsMessages.h"

#include "catalogue/LangMsg.h"
#include "window/Application.h"
#include "window/dialogs/PlainText.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

} // namespace

QString saveFailureText(const Options::WriteFailure &failure)
{
    QString text = msg("SETTINGS_NOT_SAVED_MESSAGE") + QLatin1String("\n\n") + msg("SETTINGS_NOT_SAVED_REASON")
        + u' ' + failure.reason;
    if (!failure.keptFile.isEmpty())
        text += QLatin1String("\n\n") + msg("SETTINGS_NOT_SAVED_KEPT") + u'\n' + failure.keptFile;
    return text;
}

void showSaveFailure(const Options::WriteFailure &failure, QWidget *parent)
{
    const auto box = plainMessageBox(QMessageBox::Warning, msg("SETTINGS_NOT_SAVED_TITLE"), saveFailureText(failure),
                                     QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("settingsNotSaved"));
    box->exec();
}

void showEndingMessage(const QString &title, const QString &text, int timeoutMs)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    if (!application || application->endSignalled())
        return;
    const auto box = plainMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, nullptr);
    box->setObjectName(QStringLiteral("endingMessage"));
    QTimer::singleShot(timeoutMs, box.get(), &QMessageBox::reject);
    QObject::connect(application, &Application::endRequested, box.get(), &QMessageBox::reject);
    box->exec();
}

void showEndingSaveFailure(const Options::WriteFailure &failure)
{
    showEndingMessage(msg("SETTINGS_NOT_SAVED_TITLE"), saveFailureText(failure));
}

void showAlreadyRunning()
{
    showEndingMessage(msg("ALREADY_RUNNING_TITLE"), msg("ALREADY_RUNNING_MESSAGE"));
}
