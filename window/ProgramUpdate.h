#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <stop_token>
#include <thread>

class QWidget;

// The program update: after a catalogue load that names an update address
// the user is asked whether to install the new version; on Yes the program
// file is downloaded on a worker thread to "latest.exe" in the working
// directory, started, and the running program ends.
//
// Only an https address is downloaded: the catalogue that names it comes
// over plain http, so anyone on the way could swap a plain address for one
// of their own, but not the server's certificate. The file is written under
// a temporary name and becomes "latest.exe" only when every byte has come
// (all the server announced, or the clean end of a body without a length);
// a failed download starts nothing, the program goes on running and the
// failure is shown on the status line and printed on standard error.
namespace ProgramUpdate {

// Shows a text on the second status line; always called on the UI thread.
using StatusSink = std::function<void(const QString &text)>;

// The name of the downloaded program in the working directory.
inline constexpr char FILE_NAME[] = "latest.exe";

// What a download needs besides its address. The defaults are the
// program's own.
struct Settings
{
    // A PEM file of certificates to trust in place of the system's, for a
    // server with a certificate of its own. Certificates are always checked.
    QString caFile;
    // Ends the program once the new version has started; called on the UI
    // thread after the settings were written. Empty: the main window is
    // closed and the event loop left with status 0, in a queued call.
    std::function<void()> endProgram;
    // The download's progress in percent (0 to 100) for a progress bar;
    // called on the UI thread, only while the length is known. Optional.
    std::function<void(int percent)> progress;
};

// The percentage of a download: -1 while the length is unknown (announced
// below 0), 100 for an announced empty body, otherwise received * 100 /
// announced rounded down and kept within 0 to 100.
int percentOf(qint64 received, qint64 announced);
// The status text of a download: "Downloading: 37%", or "Downloading" alone
// while the length is unknown.
QString progressText(qint64 received, qint64 announced);
// The status text of a failed download, which reads as ended: "Unknown
// error" (the cause goes to standard error).
QString failureText();

// True for an https address with a host name.
bool isAcceptableUrl(const QString &url);
// True while a download runs in this process (from its start until it has
// failed or the program ends for the update).
bool isDownloadRunning();

class ProgramUpdateThread;

// The offer after a load (UI thread). Does nothing when the address is empty
// or only blanks, when automatic updates are off, while a download runs or
// while the question of another offer is open; refuses an address that is
// not https with a line on standard error. Otherwise un-minimises the main
// window and asks; on Yes starts the download and returns it (a child of
// mainWindow, which ends it when it goes). nullptr when nothing started.
ProgramUpdateThread *offer(QWidget *mainWindow, const QString &updateUrl, StatusSink status,
                           Settings settings = {});
// As offer, with the download made by create from the trimmed address: a
// new, unstarted one (the main window's getProgramUpdate), which offer
// starts, or deletes when it cannot start.
ProgramUpdateThread *offerWith(QWidget *mainWindow, const QString &updateUrl,
                               const std::function<ProgramUpdateThread *(const QString &url)> &create);

// One download of the update. It lives on the UI thread; its download runs
// on a thread of its own, which touches no widget: the status texts and the
// outcome are queued to the UI thread. Destroying it stops the download
// (within about a second), waits for its thread and leaves no file behind.
class ProgramUpdateThread : public QObject
{
    Q_OBJECT
public:
    // The file goes to FILE_NAME in the current working directory (as it is
    // now).
    ProgramUpdateThread(QWidget *mainWindow, const QString &url, StatusSink status, Settings settings,
                        QObject *parent = nullptr);
    ~ProgramUpdateThread() override;
    ProgramUpdateThread(const ProgramUpdateThread &) = delete;
    ProgramUpdateThread &operator=(const ProgramUpdateThread &) = delete;

    // Starts the download (its thread begins once the current event is
    // done); false, and nothing started, when another download of this
    // process runs or this one was started before.
    bool start();
    QString url() const { return m_url; }
    // The absolute path of the downloaded program.
    QString targetPath() const { return m_target; }

signals:
    // The outcome, on the UI thread: started is true when the new version
    // was started (and the end of the program asked for).
    void finished(bool started);

private:
    void launch();
    void run(std::stop_token stop);
    // UI thread: status text of a running download.
    void showProgress(const QString &text, int percent);
    // UI thread: the download's outcome.
    void complete(bool downloaded, const QString &problem);
    void fail(const QString &problem);
    void release();

    QPointer<QWidget> m_mainWindow;
    QString m_url;
    QString m_target;
    StatusSink m_status;
    Settings m_settings;
    bool m_started = false;
    std::jthread m_thread;
};

} // namespace ProgramUpdate
