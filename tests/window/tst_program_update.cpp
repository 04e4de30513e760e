// The program update: the question after a load, the download over https
// from the reference service, starting the downloaded program and ending.

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "service/ReferenceService.h"
#include "tests/window/GuiTestSupport.h"
#include "window/ProgramUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <memory>

using namespace ProgramUpdate;

namespace {

constexpr int WAIT_MS = 20000;

// A program for this platform: a shell script that leaves a marker in its
// working directory, padded with a comment to size bytes.
QByteArray script(qint64 size = 200000, const QByteArray &commands = "echo started > marker\n")
{
    QByteArray body = "#!/bin/sh\n" + commands + "exit 0\n# ";
    if (body.size() + 1 < size)
        body.append(QByteArray(size - body.size() - 1, 'x'));
    body.append('\n');
    return body;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// One update run: a working directory of its own, a stand-in main window
// and what the update reports. The window goes first, which ends a
// download that still runs before the directory goes.
struct Run
{
    TestWorkspace workspace;
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QStringList statuses;
    QList<int> percents;
    int ends = 0;
    std::function<void()> atEnd;

    StatusSink sink()
    {
        return [this](const QString &text) { statuses << text; };
    }
    Settings settings(const QString &caFile)
    {
        Settings s;
        s.caFile = caFile;
        s.endProgram = [this] {
            ++ends;
            if (atEnd)
                atEnd();
        };
        s.progress = [this](int percent) { percents << percent; };
        return s;
    }
    QString file(const QString &name) const { return workspace.file(name); }
    // Files of the working directory other than the expected ones.
    QStringList strayFiles(const QStringList &expected) const
    {
        QStringList stray;
        for (const QString &name : QDir(workspace.path()).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (!expected.contains(name))
                stray << name;
        }
        return stray;
    }
};

} // namespace

class TestProgramUpdate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ReferenceService> m_service;

    QString httpsUrl() const { return m_service->httpsBaseUrl() + m_service->updatePath(); }
    QString httpUrl() const { return m_service->baseUrl() + m_service->updatePath(); }
    QString caFile() const { return m_service->certificatePath(); }
    int updateRequests() const { return m_service->requestCount(m_service->updatePath()); }

    // Starts a download without the question and waits for its outcome.
    bool download(Run &run, const QString &url, const QString &ca, bool *started)
    {
        auto *job = new ProgramUpdateThread(run.window.get(), url, run.sink(), run.settings(ca), run.window.get());
        QSignalSpy spy(job, &ProgramUpdateThread::finished);
        if (!job->start())
            return false;
        if (!spy.wait(WAIT_MS))
            return false;
        *started = spy.first().first().toBool();
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ReferenceService::httpsSupported());
        ReferenceService::Config config;
        config.https = true;
        config.logToStderr = false;
        m_service = std::make_unique<ReferenceService>(config);
        QVERIFY(m_service->start());
        QVERIFY(m_service->httpsRunning());
    }

    void init()
    {
        m_service->clearSwitches();
        m_service->clearRequests();
        m_service->setUpdateMode(RefService::UpdateMode::Normal);
        m_service->setUpdateBody(script());
        QVERIFY(!isDownloadRunning());
    }

    void cleanupTestCase() { m_service.reset(); }

    void percentages_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("percent");
        QTest::newRow("start") << qint64(0) << qint64(1000000) << "Downloading: 0%" << 0;
        QTest::newRow("37 percent") << qint64(370000) << qint64(1000000) << "Downloading: 37%" << 37;
        QTest::newRow("rounded down") << qint64(379999) << qint64(1000000) << "Downloading: 37%" << 37;
        QTest::newRow("whole file") << qint64(1000000) << qint64(1000000) << "Downloading: 100%" << 100;
        QTest::newRow("1999 bytes, all") << qint64(1999) << qint64(1999) << "Downloading: 100%" << 100;
        QTest::newRow("1999 bytes, one short") << qint64(1998) << qint64(1999) << "Downloading: 99%" << 99;
        QTest::newRow("below 400 bytes") << qint64(150) << qint64(300) << "Downloading: 50%" << 50;
        QTest::newRow("one byte of one") << qint64(1) << qint64(1) << "Downloading: 100%" << 100;
        QTest::newRow("more than announced") << qint64(5000) << qint64(1000) << "Downloading: 100%" << 100;
        QTest::newRow("nothing announced") << qint64(0) << qint64(0) << "Downloading: 100%" << 100;
        QTest::newRow("no length") << qint64(123456) << qint64(-1) << "Downloading" << -1;
        QTest::newRow("negative count") << qint64(-5) << qint64(100) << "Downloading: 0%" << 0;
        QTest::newRow("huge file") << qint64(4611686018427387903) << qint64(9223372036854775807)
                                   << "Downloading: 50%" << 50;
    }
    void percentages()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, announced);
        QFETCH(QString, text);
        QFETCH(int, percent);
        QCOMPARE(progressText(received, announced), text);
        QCOMPARE(percentOf(received, announced), percent);
    }

    void acceptableUrls_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("https") << "https://127.0.0.1:8443/update/latest.bin" << true;
        QTest::newRow("https upper case") << "HTTPS://127.0.0.1/latest.exe" << true;
        QTest::newRow("http") << "http://127.0.0.1/latest.exe" << false;
        QTest::newRow("ftp") << "ftp://127.0.0.1/latest.exe" << false;
        QTest::newRow("no host") << "https://" << false;
        QTest::newRow("not an address") << "latest.exe" << false;
        QTest::newRow("empty") << "" << false;
    }
    void acceptableUrls()
    {
        QFETCH(QString, url);
        QFETCH(bool, acceptable);
        QCOMPARE(isAcceptableUrl(url), acceptable);
    }

    // The question after a load: when it comes, what it says, and what Yes
    // and No do.
    void offer_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("url"); // "$https": the service's https address
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("accepted") << true << "$https" << int(QMessageBox::Yes) << true << true;
        QTest::newRow("declined") << true << "$https" << int(QMessageBox::No) << true << false;
        QTest::newRow("blanks around the address") << true << "  $https \t" << int(QMessageBox::Yes) << true << true;
        QTest::newRow("updates off") << false << "$https" << int(QMessageBox::Yes) << false << false;
        QTest::newRow("empty address") << true << "" << int(QMessageBox::Yes) << false << false;
        QTest::newRow("blank address") << true << "   " << int(QMessageBox::Yes) << false << false;
    }
    void offer()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, url);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, downloads);
        url.replace(QLatin1String("$https"), httpsUrl());

        Run run;
        Options::setUpdateEnabled(enabled);
        run.window->show();
        run.window->setWindowState(Qt::WindowMinimized);

        bool seen = false;
        QWidget *parent = nullptr;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        Qt::WindowModality modality = Qt::NonModal;
        bool minimizedWhileAsked = true;
        auto answers = std::make_unique<ModalAnswers>();
        answers->then([&](QWidget *w) {
            seen = true;
            parent = w->parentWidget();
            modality = w->windowModality();
            minimizedWhileAsked = run.window->isMinimized();
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box) {
                w->close();
                return;
            }
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::StandardButton(answer))->click();
        });

        ProgramUpdateThread *job = ProgramUpdate::offer(run.window.get(), url, run.sink(), run.settings(caFile()));
        QCOMPARE(answers->handled(), asked ? 1 : 0);
        QCOMPARE(answers->unexpected(), 0);
        answers.reset();
        if (asked) {
            QVERIFY(seen);
            QCOMPARE(parent, run.window.get());
            QCOMPARE(title, QStringLiteral("Update"));
            QCOMPARE(text, LangMsg::getMsg(QStringLiteral("MESSAGEBOX_CONFIRMUPDATEMESSAGE")));
            QVERIFY(text.startsWith(QLatin1String("A new version of this application is available\r\nA restart")));
            QCOMPARE(icon, QMessageBox::Question);
            QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(modality, Qt::ApplicationModal);
            QVERIFY(!minimizedWhileAsked);
        }
        QCOMPARE(job != nullptr, downloads);

        if (downloads) {
            QSignalSpy spy(job, &ProgramUpdateThread::finished);
            QVERIFY(spy.wait(WAIT_MS));
            QCOMPARE(spy.first().first().toBool(), true);
            QCOMPARE(job->url(), url.trimmed());
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(run.file(QStringLiteral("marker"))), WAIT_MS);
            QCOMPARE(run.ends, 1);
            QCOMPARE(updateRequests(), 1);
        } else {
            QCOMPARE(updateRequests(), 0);
            QVERIFY(!QFile::exists(run.file(QStringLiteral("latest.exe"))));
            QVERIFY(!isDownloadRunning());
            if (asked) {
                // Nothing is left behind: the next load asks again.
                ModalAnswers again;
                again.pressBox(QMessageBox::No);
                QVERIFY(!ProgramUpdate::offer(run.window.get(), url, run.sink(), run.settings(caFile())));
                QCOMPARE(again.handled(), 1);
            }
        }
    }

    // A download that completes replaces "latest.exe", which is then
    // started; with and without an announced length.
    void completeDownload_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("lengthKnown");
        QTest::newRow("with length") << int(RefService::UpdateMode::Normal) << true;
        QTest::newRow("chunked") << int(RefService::UpdateMode::Chunked) << false;
        QTest::newRow("no length, ends at close") << int(RefService::UpdateMode::NoLength) << false;
    }
    void completeDownload()
    {
        QFETCH(int, mode);
        QFETCH(bool, lengthKnown);
        m_service->setUpdateMode(RefService::UpdateMode(mode));
        const QByteArray body = script(300000);
        m_service->setUpdateBody(body);

        Run run;
        writeFile(run.file(QStringLiteral("latest.exe")), "an older download");
        bool started = false;
        QVERIFY(download(run, httpsUrl(), caFile(), &started));
        QVERIFY(started);

        const QString target = run.file(QStringLiteral("latest.exe"));
        QCOMPARE(readFile(target), body);
        QVERIFY(QFileInfo(target).isExecutable());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(run.file(QStringLiteral("marker"))) == "started\n", WAIT_MS);
        QCOMPARE(run.ends, 1);
        QVERIFY(!run.statuses.isEmpty());
        QCOMPARE(run.statuses.last(), QStringLiteral("Downloading: 100%"));
        if (!lengthKnown)
            QCOMPARE(run.statuses.first(), QStringLiteral("Downloading"));
        QVERIFY(!run.percents.isEmpty());
        QCOMPARE(run.percents.last(), 100);
        const QStringList expected = {QStringLiteral("latest.exe"), QStringLiteral("marker"),
                                      QStringLiteral("options.xml")};
        QCOMPARE(run.strayFiles(expected), QStringList());
        // The program is ending: no other download is taken meanwhile.
        QVERIFY(isDownloadRunning());
        run.window.reset();
        QVERIFY(!isDownloadRunning());
    }

    // A download that fails starts nothing, keeps an earlier "latest.exe"
    // as it was and leaves no partial file; the program goes on.
    void failedDownload_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("connection closed early") << "partial";
        QTest::newRow("server error") << "status";
        QTest::newRow("certificate not trusted") << "untrusted";
        QTest::newRow("redirect to http") << "redirect";
        QTest::newRow("empty body") << "empty";
        QTest::newRow("nothing listening") << "closed";
    }
    void failedDownload()
    {
        QFETCH(QString, kind);
        QString url = httpsUrl();
        QString ca = caFile();
        const QString path = m_service->updatePath();
        if (kind == QLatin1String("partial")) {
            m_service->setUpdateMode(RefService::UpdateMode::Partial, 120000);
        } else if (kind == QLatin1String("status")) {
            m_service->setStatus(path, 500);
        } else if (kind == QLatin1String("untrusted")) {
            ca.clear();
        } else if (kind == QLatin1String("redirect")) {
            m_service->setStatus(path, 302);
            m_service->setHeader(path, "Location", httpUrl().toUtf8());
        } else if (kind == QLatin1String("empty")) {
            m_service->setReply(path, QByteArray());
        } else if (kind == QLatin1String("closed")) {
            url = QStringLiteral("https://127.0.0.1:%1/latest.exe").arg(closedPort());
        }

        Run run;
        const QByteArray older = "an older download";
        writeFile(run.file(QStringLiteral("latest.exe")), older);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: ")));
        bool started = true;
        QVERIFY(download(run, url, ca, &started));
        QVERIFY(!started);

        QCOMPARE(readFile(run.file(QStringLiteral("latest.exe"))), older);
        QCOMPARE(run.strayFiles({QStringLiteral("latest.exe"), QStringLiteral("options.xml")}), QStringList());
        QCOMPARE(run.ends, 0);
        QVERIFY(!run.statuses.isEmpty());
        QCOMPARE(run.statuses.last(), failureText());
        QCOMPARE(run.statuses.last(), QStringLiteral("Unknown error"));
        QVERIFY(!isDownloadRunning());
        for (const RefService::LoggedRequest &request : m_service->requests(path))
            QVERIFY2(request.https, "the update went over plain http");
    }

    // An update address that is not https is not downloaded, and the user
    // is not asked.
    void plainAddressRefused_data()
    {
        QTest::addColumn<QString>("url"); // "$http": the service's plain address
        QTest::newRow("http") << "$http";
        QTest::newRow("ftp") << "ftp://127.0.0.1/latest.exe";
        QTest::newRow("not an address") << "latest.exe";
    }
    void plainAddressRefused()
    {
        QFETCH(QString, url);
        url.replace(QLatin1String("$http"), httpUrl());
        Run run;
        ModalAnswers answers;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: refused ")));
        QVERIFY(!ProgramUpdate::offer(run.window.get(), url, run.sink(), run.settings(caFile())));
        QVERIFY(waitForPostedTasks());
        QCOMPARE(answers.handled() + answers.unexpected(), 0);

        // The download itself refuses it too.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: refused ")));
        bool started = true;
        QVERIFY(download(run, url, caFile(), &started));
        QVERIFY(!started);
        QCOMPARE(updateRequests(), 0);
        QVERIFY(!QFile::exists(run.file(QStringLiteral("latest.exe"))));
        QCOMPARE(run.ends, 0);
    }

    // The percentage climbs to 100 and never past it, for large and small
    // files.
    void progress_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("1,000,000 bytes") << qint64(1000000);
        QTest::newRow("1,999 bytes") << qint64(1999);
        QTest::newRow("300 bytes") << qint64(300);
    }
    void progress()
    {
        QFETCH(qint64, size);
        const QByteArray body = script(size);
        QCOMPARE(body.size(), size);
        m_service->setUpdateBody(body);

        Run run;
        bool started = false;
        QVERIFY(download(run, httpsUrl(), caFile(), &started));
        QVERIFY(started);
        QCOMPARE(readFile(run.file(QStringLiteral("latest.exe"))), body);

        static const QRegularExpression pattern(QStringLiteral("^Downloading: (\\d+)%$"));
        int previous = -1;
        for (const QString &status : run.statuses) {
            const QRegularExpressionMatch match = pattern.match(status);
            QVERIFY2(match.hasMatch(), qPrintable(status));
            const int percent = match.captured(1).toInt();
            QVERIFY2(percent >= previous && percent <= 100, qPrintable(status));
            previous = percent;
        }
        QCOMPARE(previous, 100);
        QCOMPARE(run.statuses.removeDuplicates(), 0);
        previous = -1;
        for (int percent : run.percents) {
            QVERIFY(percent >= previous && percent <= 100);
            previous = percent;
        }
        QCOMPARE(previous, 100);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(run.file(QStringLiteral("marker"))), WAIT_MS);
    }

    // While a download runs no second one is offered or started; closing
    // the window ends it and leaves nothing behind.
    void secondOfferRefused()
    {
        const QByteArray body = script(100000);
        const QString path = m_service->updatePath();
        m_service->setSplitReply(path, body.left(20000), body.mid(20000), 30000);

        Run run;
        ModalAnswers answers;
        answers.pressBox(QMessageBox::Yes);
        ProgramUpdateThread *first = ProgramUpdate::offer(run.window.get(), httpsUrl(), run.sink(),
                                                          run.settings(caFile()));
        QVERIFY(first);
        QTRY_VERIFY_WITH_TIMEOUT(run.statuses.contains(QStringLiteral("Downloading: 20%")), WAIT_MS);
        QVERIFY(isDownloadRunning());

        ModalAnswers none;
        QVERIFY(!ProgramUpdate::offer(run.window.get(), httpsUrl(), run.sink(), run.settings(caFile())));
        QVERIFY(waitForPostedTasks());
        QCOMPARE(none.handled() + none.unexpected(), 0);

        ProgramUpdateThread second(run.window.get(), httpsUrl(), run.sink(), run.settings(caFile()));
        QVERIFY(!second.start());
        QCOMPARE(m_service->requestCount(path), 1);

        run.window.reset();
        QVERIFY(!isDownloadRunning());
        QVERIFY(!QFile::exists(run.file(QStringLiteral("latest.exe"))));
        QCOMPARE(run.strayFiles({QStringLiteral("options.xml")}), QStringList());
        QCOMPARE(run.ends, 0);
        QVERIFY(!run.statuses.contains(failureText()));
    }

    // The settings are on disk before the new version starts (it may read
    // them) and before the program ends.
    void settingsWrittenBeforeEnd()
    {
        m_service->setUpdateBody(script(5000, "cp options.xml seen-options.xml\necho started > marker\n"));
        Run run;
        QFile::remove(run.file(QStringLiteral("options.xml")));
        Options::setLanguage(QStringLiteral("no"));
        QByteArray atEnd;
        run.atEnd = [&] { atEnd = readFile(run.file(QStringLiteral("options.xml"))); };

        bool started = false;
        QVERIFY(download(run, httpsUrl(), caFile(), &started));
        QVERIFY(started);
        QCOMPARE(run.ends, 1);
        QVERIFY(atEnd.contains("<Language>no</Language>"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(run.file(QStringLiteral("marker"))), WAIT_MS);
        QVERIFY(readFile(run.file(QStringLiteral("seen-options.xml"))).contains("<Language>no</Language>"));
    }

    // The main window asks after a load whose catalogue names an update,
    // and shows the download on its status line.
    void windowOffersAfterLoad_data()
    {
        QTest::addColumn<QString>("url"); // "$https" / "$http": the update service's addresses
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("answer"); // 0: no question
        QTest::addColumn<QString>("status");
        QTest::newRow("declined") << "$https" << true << int(QMessageBox::No) << "Database loaded.";
        // The program trusts only the system's certificates.
        QTest::newRow("accepted, certificate not trusted")
            << "$https" << true << int(QMessageBox::Yes) << "Unknown error";
        QTest::newRow("plain http") << "$http" << true << 0 << "Database loaded.";
        QTest::newRow("updates off") << "$https" << false << 0 << "Database loaded.";
    }
    void windowOffersAfterLoad()
    {
        QFETCH(QString, url);
        QFETCH(bool, enabled);
        QFETCH(int, answer);
        QFETCH(QString, status);
        url.replace(QLatin1String("$https"), httpsUrl()).replace(QLatin1String("$http"), httpUrl());

        TestWorkspace workspace;
        Options::setUpdateEnabled(enabled);
        auto catalogueService = startService();
        QVERIFY(catalogueService);
        RefService::CatalogueInfo info;
        info.updateUrl = url;
        catalogueService->setCatalogue(RefService::catalogueDocument(
            {entry(11, QStringLiteral("Bravo News"), QStringLiteral("TV"), QStringLiteral("News"),
                   QStringLiteral("Norway"), 300)},
            info));
        if (url.startsWith(QLatin1String("http:")) && enabled)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: refused ")));
        if (answer == QMessageBox::Yes)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: download of ")));

        Gui gui;
        QSignalSpy loads(&gui, &Gui::loadFinished);
        QWidget *parent = nullptr;
        QString title;
        ModalAnswers answers;
        if (answer != 0) {
            answers.then([&](QWidget *w) {
                parent = w->parentWidget();
                title = w->windowTitle();
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    box->button(QMessageBox::StandardButton(answer))->click();
                else
                    w->close();
            });
        }
        gui.open(false);
        QVERIFY(waitForLoads(loads, 1));
        QCOMPARE(answers.handled(), answer != 0 ? 1 : 0);
        QCOMPARE(answers.unexpected(), 0);
        if (answer != 0) {
            QCOMPARE(parent, &gui);
            QCOMPARE(title, QStringLiteral("Update"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!isDownloadRunning(), WAIT_MS);
        QTRY_COMPARE_WITH_TIMEOUT(probe(gui).statusLine2()->text(), status, WAIT_MS);
        QVERIFY(!QFile::exists(workspace.file(QStringLiteral("latest.exe"))));
        QCOMPARE(m_service->requestCount(m_service->updatePath()), 0);
    }

    // The window's own download: made unstarted, a child of the window, and
    // once started it shows its outcome on the status line.
    void windowMakesUnstartedDownload()
    {
        TestWorkspace workspace;
        auto catalogueService = startService();
        QVERIFY(catalogueService);
        Gui gui;
        QSignalSpy loads(&gui, &Gui::loadFinished);
        gui.open(false);
        QVERIFY(waitForLoads(loads, 1));

        QPointer<ProgramUpdateThread> job = gui.getProgramUpdate(httpsUrl());
        QVERIFY(job);
        QCOMPARE(job->parent(), &gui);
        QCOMPARE(job->url(), httpsUrl());
        QCOMPARE(QFileInfo(job->targetPath()).fileName(), QStringLiteral("latest.exe"));
        QCOMPARE(QFileInfo(QFileInfo(job->targetPath()).absolutePath()).canonicalFilePath(),
                 QFileInfo(workspace.path()).canonicalFilePath());
        QVERIFY(waitForPostedTasks());
        QVERIFY(!isDownloadRunning());
        QCOMPARE(updateRequests(), 0);

        // The program trusts only the system's certificates.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: download of ")));
        QSignalSpy spy(job.data(), &ProgramUpdateThread::finished);
        QVERIFY(job->start());
        QVERIFY(spy.wait(WAIT_MS));
        QCOMPARE(spy.first().first().toBool(), false);
        QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Unknown error"));
        QVERIFY(!isDownloadRunning());
        QVERIFY(!QFile::exists(workspace.file(QStringLiteral("latest.exe"))));
    }

    // A failed download leaves a status that reads as ended and is shown
    // whole in the narrowest window the placement rule gives (one monitor:
    // 460 pixels wide): nothing suggests a download still running.
    void failureStatusInNarrowWindow_data()
    {
        QTest::addColumn<QString>("kind");
        // The program trusts only the system's certificates.
        QTest::newRow("certificate not trusted") << "untrusted";
        QTest::newRow("nothing listening") << "closed";
    }
    void failureStatusInNarrowWindow()
    {
        QFETCH(QString, kind);
        TestWorkspace workspace;
        auto catalogueService = startService();
        QVERIFY(catalogueService);
        Gui gui;
        QSignalSpy loads(&gui, &Gui::loadFinished);
        gui.open(true);
        QVERIFY(QTest::qWaitForWindowExposed(&gui));
        QVERIFY(waitForLoads(loads, 1));
        const QRect screen = gui.screen()->availableGeometry();
        QCOMPARE(gui.width(), std::min(460, screen.width()));

        QString url = httpsUrl();
        if (kind == QLatin1String("closed")) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
            const quint16 closedPort = probe.serverPort();
            probe.close();
            url = QStringLiteral("https://127.0.0.1:%1/latest.exe").arg(closedPort);
        }
        QPointer<ProgramUpdateThread> job = gui.getProgramUpdate(url);
        QVERIFY(job);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Program update: download of ")));
        QSignalSpy spy(job.data(), &ProgramUpdateThread::finished);
        QVERIFY(job->start());
        QVERIFY(spy.wait(WAIT_MS));
        QCOMPARE(spy.first().first().toBool(), false);
        QVERIFY(!isDownloadRunning());

        QLabel *status = probe(gui).statusLine2();
        const QString text = status->text();
        QCOMPARE(text, LangMsg::getMsg(QStringLiteral("Error")));
        QCOMPARE(text, QStringLiteral("Unknown error"));
        QVERIFY(!text.startsWith(LangMsg::getMsg(QStringLiteral("STATUSBAR2_DOWNLOADING"))));
        // Shown whole: the label's inner width holds the text and the indent
        // a framed label keeps (half an "x").
        const QFontMetrics metrics = status->fontMetrics();
        const int needed = metrics.horizontalAdvance(text) + metrics.horizontalAdvance(QLatin1Char('x'));
        QVERIFY2(needed <= status->contentsRect().width(),
                 qPrintable(QStringLiteral("%1 pixels needed, %2 shown").arg(needed).arg(status->contentsRect().width())));
        QVERIFY(!QFile::exists(workspace.file(QStringLiteral("latest.exe"))));
    }

    // The window's shut-down (its close) ends a download that the server
    // holds, before the settings are written: the download is gone and
    // leaves no file behind.
    void shutdownEndsHeldDownload()
    {
        TestWorkspace workspace;
        auto catalogueService = startService();
        QVERIFY(catalogueService);
        // The first half of the file, then nothing for a minute.
        m_service->setSplitReply(m_service->updatePath(), QByteArray(5000, 'a'), QByteArray(5000, 'b'), 60000);
        Gui gui;
        QSignalSpy loads(&gui, &Gui::loadFinished);
        gui.open(false);
        QVERIFY(waitForLoads(loads, 1));

        Settings settings;
        settings.caFile = caFile();
        QStringList shown;
        QPointer<ProgramUpdateThread> job = new ProgramUpdateThread(
            &gui, httpsUrl(), [&shown](const QString &text) { shown << text; }, settings, &gui);
        QVERIFY(job->start());
        QTRY_VERIFY_WITH_TIMEOUT(shown.contains(QStringLiteral("Downloading: 50%")), WAIT_MS);
        gui.shutdown();
        QVERIFY(!job);
        QVERIFY(!isDownloadRunning());
        QCOMPARE(QDir(workspace.path()).entryList({QStringLiteral("latest.exe*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // Without an injected end the main window is closed and the event loop
    // left with status 0, from the UI thread.
    void defaultEndLeavesEventLoop()
    {
        Run run;
        run.window->show();
        const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
        QGuiApplication::setQuitOnLastWindowClosed(false);

        Settings settings;
        settings.caFile = caFile();
        auto *job = new ProgramUpdateThread(run.window.get(), httpsUrl(), run.sink(), settings, run.window.get());
        QSignalSpy spy(job, &ProgramUpdateThread::finished);
        QVERIFY(job->start());
        // A guard against a hang only: the download ends the loop itself.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(WAIT_MS);
        const int status = QCoreApplication::exec();
        guard.stop();
        QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);

        QCOMPARE(status, 0);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toBool(), true);
        QVERIFY(!run.window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(run.file(QStringLiteral("marker"))), WAIT_MS);
    }
};

QTEST_MAIN(TestProgramUpdate)
#include "tst_program_update.moc"
