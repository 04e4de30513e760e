#include "window/ProgramUpdate.h"

#include "catalogue/Http.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/PlainText.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSaveFile>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <limits>
#include <system_error>

namespace ProgramUpdate {

namespace {

// The download of this process, if one runs: one at a time, so that two
// downloads never write the same file.
std::atomic<const ProgramUpdateThread *> s_active{nullptr};
// The question of an offer is open (its nested event loop may run the
// offer of another load).
bool s_asking = false;

QString downloadingText()
{
    return LangMsg::getMsg(QStringLiteral("STATUSBAR2_DOWNLOADING"));
}

void warn(const QString &text)
{
    qWarning().noquote() << QStringLiteral("Program update: %1").arg(text);
}

} // namespace

int percentOf(qint64 received, qint64 announced)
{
    if (announced < 0)
        return -1;
    if (announced == 0)
        return 100;
    received = std::clamp<qint64>(received, 0, announced);
    if (announced > std::numeric_limits<qint64>::max() / 100)
        return int(received / (announced / 100));
    return int(received * 100 / announced);
}

QString progressText(qint64 received, qint64 announced)
{
    const int percent = percentOf(received, announced);
    if (percent < 0)
        return downloadingText();
    return downloadingText() + QStringLiteral(": ") + QString::number(percent) + QLatin1Char('%');
}

QString failureText()
{
    // The error text alone, without "Downloading" before it: it fits whole
    // in the status field of the narrowest window and does not read as a
    // download still running.
    return LangMsg::getMsg(QStringLiteral("Error"));
}

bool isAcceptableUrl(const QString &url)
{
    if (!Http::isValidUrl(url))
        return false;
    return QUrl(url, QUrl::TolerantMode).scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

bool isDownloadRunning()
{
    return s_active.load() != nullptr;
}

ProgramUpdateThread *offer(QWidget *mainWindow, const QString &updateUrl, StatusSink status, Settings settings)
{
    return offerWith(mainWindow, updateUrl, [&](const QString &url) {
        QObject *owner = mainWindow ? static_cast<QObject *>(mainWindow) : QCoreApplication::instance();
        return new ProgramUpdateThread(mainWindow, url, std::move(status), std::move(settings), owner);
    });
}

ProgramUpdateThread *offerWith(QWidget *mainWindow, const QString &updateUrl,
                               const std::function<ProgramUpdateThread *(const QString &url)> &create)
{
    const QString url = updateUrl.trimmed();
    if (url.isEmpty() || !Options::getUpdateEnabled())
        return nullptr;
    if (isDownloadRunning() || s_asking)
        return nullptr;
    if (!isAcceptableUrl(url)) {
        warn(QStringLiteral("refused %1: only an https address is downloaded").arg(url));
        return nullptr;
    }

    if (mainWindow && mainWindow->isMinimized())
        mainWindow->setWindowState((mainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);

    const auto box = plainMessageBox(QMessageBox::Question,
                                     LangMsg::getMsg(QStringLiteral("MESSAGEBOX_CONFIRMUPDATETITLE")),
                                     LangMsg::getMsg(QStringLiteral("MESSAGEBOX_CONFIRMUPDATEMESSAGE")),
                                     QMessageBox::Yes | QMessageBox::No, mainWindow);
    box->setWindowModality(Qt::ApplicationModal);
    s_asking = true;
    const int answer = box->exec();
    s_asking = false;
    if (answer != QMessageBox::Yes)
        return nullptr;

    ProgramUpdateThread *download = create ? create(url) : nullptr;
    if (!download)
        return nullptr;
    if (!download->start()) {
        delete download;
        return nullptr;
    }
    return download;
}

// --- ProgramUpdateThread ---------------------------------------------------------

ProgramUpdateThread::ProgramUpdateThread(QWidget *mainWindow, const QString &url, StatusSink status,
                                         Settings settings, QObject *parent)
    : QObject(parent),
      m_mainWindow(mainWindow),
      m_url(url),
      m_target(QDir::current().absoluteFilePath(QString::fromLatin1(FILE_NAME))),
      m_status(std::move(status)),
      m_settings(std::move(settings))
{
}

ProgramUpdateThread::~ProgramUpdateThread()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    release();
}

bool ProgramUpdateThread::start()
{
    if (m_started)
        return false;
    const ProgramUpdateThread *none = nullptr;
    if (!s_active.compare_exchange_strong(none, this))
        return false;
    m_started = true;
    // The thread begins once the current event is done, so that what the
    // download shows follows what that event shows (the rebuild after a
    // load posts its own status text).
    QMetaObject::invokeMethod(this, [this] { launch(); }, Qt::QueuedConnection);
    return true;
}

void ProgramUpdateThread::launch()
{
    try {
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    } catch (const std::system_error &e) {
        fail(QStringLiteral("cannot start the download: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void ProgramUpdateThread::release()
{
    const ProgramUpdateThread *self = this;
    s_active.compare_exchange_strong(self, nullptr);
}

void ProgramUpdateThread::run(std::stop_token stop)
{
    auto report = [this](bool downloaded, const QString &problem) {
        QMetaObject::invokeMethod(
            this, [this, downloaded, problem] { complete(downloaded, problem); }, Qt::QueuedConnection);
    };

    if (!isAcceptableUrl(m_url)) {
        report(false, QStringLiteral("refused %1: only an https address is downloaded").arg(m_url));
        return;
    }

    // Written under a temporary name next to the target; it replaces
    // "latest.exe" only once complete.
    QSaveFile file(m_target);
    if (!file.open(QIODevice::WriteOnly)) {
        report(false, QStringLiteral("cannot write %1: %2").arg(m_target, file.errorString()));
        return;
    }

    qint64 written = 0;
    bool writeFailed = false;
    QString lastText;
    Http::Request request;
    request.httpsOnly = true;
    request.caFile = m_settings.caFile;
    request.stop = stop;
    request.sink = [&](const char *data, qint64 size) {
        if (stop.stop_requested())
            return false;
        if (file.write(data, size) != size) {
            writeFailed = true;
            return false;
        }
        written += size;
        return true;
    };
    request.progress = [&](qint64 received, qint64 announced) {
        if (stop.stop_requested())
            return false;
        // A status text only when it changes: one per percent at most.
        const QString text = progressText(received, announced);
        if (text != lastText) {
            lastText = text;
            const int percent = percentOf(received, announced);
            QMetaObject::invokeMethod(
                this, [this, text, percent] { showProgress(text, percent); }, Qt::QueuedConnection);
        }
        return true;
    };

    // One request gives both the length and the body: a first request for
    // the length alone, whose body is thrown away, would cost the server a
    // second transfer and could announce the length of another file than
    // the one the second request brings.
    qint64 announced = -1;
    try {
        const Http::Response response = Http::get(m_url, request);
        announced = response.contentLength;
    } catch (const Http::HttpError &e) {
        file.cancelWriting();
        if (stop.stop_requested())
            return; // the window is going: nothing to report to
        if (writeFailed)
            report(false, QStringLiteral("cannot write %1: %2").arg(m_target, file.errorString()));
        else
            report(false, QStringLiteral("download of %1 failed: %2").arg(m_url, QString::fromStdString(e.what())));
        return;
    }
    if (stop.stop_requested()) {
        file.cancelWriting();
        return;
    }
    if (announced >= 0 && written != announced) {
        file.cancelWriting();
        report(false,
               QStringLiteral("download of %1 incomplete: %2 of %3 bytes").arg(m_url).arg(written).arg(announced));
        return;
    }
    if (written == 0) {
        file.cancelWriting();
        report(false, QStringLiteral("the server sent no program at %1").arg(m_url));
        return;
    }
    if (!file.commit()) {
        report(false, QStringLiteral("cannot write %1: %2").arg(m_target, file.errorString()));
        return;
    }
    if (!QFile::setPermissions(m_target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                             | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
        report(false, QStringLiteral("cannot make %1 executable").arg(m_target));
        return;
    }
    // The last status: the whole file has come.
    if (lastText != progressText(written, written)) {
        const QString text = progressText(written, written);
        QMetaObject::invokeMethod(this, [this, text] { showProgress(text, 100); }, Qt::QueuedConnection);
    }
    report(true, QString());
}

void ProgramUpdateThread::showProgress(const QString &text, int percent)
{
    if (m_status)
        m_status(text);
    if (percent >= 0 && m_settings.progress)
        m_settings.progress(percent);
}

void ProgramUpdateThread::fail(const QString &problem)
{
    warn(problem);
    if (m_status)
        m_status(failureText());
    release();
    emit finished(false);
}

void ProgramUpdateThread::complete(bool downloaded, const QString &problem)
{
    if (m_thread.joinable())
        m_thread.join(); // it has just posted this and ends
    if (!downloaded) {
        fail(problem);
        return;
    }
    // The new version may read the settings as it starts: they are written
    // first.
    Options::writeToDisk();
    const QString workingDirectory = QFileInfo(m_target).absolutePath();
    if (!QProcess::startDetached(m_target, {}, workingDirectory)) {
        fail(QStringLiteral("cannot start %1").arg(m_target));
        return;
    }
    if (m_settings.endProgram) {
        m_settings.endProgram();
    } else {
        QPointer<QWidget> window = m_mainWindow;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [window] {
                if (window)
                    window->close();
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    }
    emit finished(true);
}

} // namespace ProgramUpdate
