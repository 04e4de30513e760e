// The built program and its working directory: SIGTERM, SIGINT and SIGHUP
// end it the way Quit does, without the question (status 0, the settings
// changed in the run saved, nothing else left behind); a second program in
// the same working directory ends without writing anything, while the first
// keeps its folder; the lock of a program that was killed does not keep the
// next one out. The program runs offscreen against a server on loopback.
#include "tests/SlowServer.h"
#include "tests/window/ProgramCloseSupport.h"

#include "catalogue/LangMsg.h"
#include "service/ReferenceService.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

using closetest::readFile;
using closetest::SETTINGS;
using closetest::writeFile;

QByteArray catalogue()
{
    return closetest::catalogue(300);
}

// The program in its working directory, pointed at the server, its
// standard error kept for the checks.
class Program
{
public:
    Program(const QString &directory, const SlowServer &server)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QPA_OFFSCREEN_NO_GLX"), QStringLiteral("1"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("QUORVANTEL_MPV_AO"), QStringLiteral("null"));
        for (const char *name : {"QUORVANTEL_CATALOGUE_HOST", "QUORVANTEL_ORDER_HOST", "QUORVANTEL_FORUM_HOST",
                                 "QUORVANTEL_MAKER_HOST", "QUORVANTEL_ICECAST_HOST"})
            env.insert(QString::fromLatin1(name), server.hostPort());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(directory);
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { errors += process.readAllStandardError(); });
        process.start(QStringLiteral(QV_PROGRAM), {});
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (!errors.isEmpty())
            qInfo("Standard error of the program:\n%s", errors.constData());
    }
    void signal(int number) { ::kill(pid_t(process.processId()), number); }
    bool ended() const { return process.state() == QProcess::NotRunning; }

    QProcess process;
    QByteArray errors;
};

// A server with a catalogue of revision 8, newer than the cache of 7.
void serveCatalogue(SlowServer &server)
{
    server.setWhole(QStringLiteral("/cacheversion.txt"), "8\n");
    server.setWhole(QStringLiteral("/getstreams.php"), catalogue());
    server.setWhole(QStringLiteral("/yp.xml"), RefService::demoDirectory(server.hostPort()));
    server.setWhole(QStringLiteral("/getppv.php"), RefService::ppvDocument(RefService::demoPpvMovies(), {}));
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TestProgramSignals : public QObject
{
    Q_OBJECT

private slots:
    void endSignalSavesSettings_data();
    void endSignalSavesSettings();
    void endSignalAtFirstStart();
    void secondProgramWritesNothing();
    void lockOfKilledProgramIsTakenOver();
};

void TestProgramSignals::endSignalSavesSettings_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestProgramSignals::endSignalSavesSettings()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    QVERIFY(writeFile(settingsFile, SETTINGS));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("data.dat")), RefService::gzipCompress(catalogue())));
    SlowServer server;
    QVERIFY(server.start());
    serveCatalogue(server);

    Program program(dir.path(), server);
    QVERIFY(program.process.waitForStarted(20000));
    // The catalogue of revision 8 has come (the pay-per-view catalogue is
    // asked for after it): the run changed the settings.
    QVERIFY(server.waitForRequests(QStringLiteral("/getppv.php"), 1, 60000));
    QVERIFY(!program.ended());

    program.signal(signalNumber);
    QTRY_VERIFY_WITH_TIMEOUT(program.ended(), 20000);
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);

    const QByteArray xml = readFile(settingsFile);
    QVERIFY2(xml.contains("<CacheRevision>8</CacheRevision>"), xml.constData());
    QVERIFY2(xml.contains("<Serial>KEY-4711</Serial>"), xml.constData());
    QVERIFY2(xml.contains("<Mode>true</Mode>"), xml.constData());
    QVERIFY2(xml.contains("<StreamId>11</StreamId>"), xml.constData());
    QCOMPARE(filesIn(dir.path()), QStringList({QStringLiteral("data.dat"), QStringLiteral("options.xml")}));
}

void TestProgramSignals::endSignalAtFirstStart()
{
    // No settings: the first-start mode question is the program's first
    // loop. The signal ends that loop, and the program with it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    SlowServer server;
    QVERIFY(server.start());
    serveCatalogue(server);

    Program program(dir.path(), server);
    QVERIFY(program.process.waitForStarted(20000));
    // The lock is taken once the signals are caught.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath(QStringLiteral("options.xml.lock"))), 20000);
    program.signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(program.ended(), 20000);
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    const QByteArray xml = readFile(settingsFile);
    QVERIFY2(xml.contains("<Mode></Mode>") || xml.contains("<Mode/>") || xml.contains("<Mode />"), xml.constData());
    QVERIFY2(xml.contains("<UserWizardEnabled>true</UserWizardEnabled>"), xml.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("options.xml.lock"))));
}

void TestProgramSignals::secondProgramWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    const QByteArray cache = RefService::gzipCompress(catalogue());
    QVERIFY(writeFile(settingsFile, SETTINGS));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("data.dat")), cache));
    SlowServer server;
    QVERIFY(server.start());
    serveCatalogue(server);

    Program first(dir.path(), server);
    QVERIFY(first.process.waitForStarted(20000));
    QVERIFY(server.waitForRequests(QStringLiteral("/getppv.php"), 1, 60000));
    const QStringList filesWhileFirstRuns = filesIn(dir.path());
    QVERIFY(filesWhileFirstRuns.contains(QStringLiteral("options.xml.lock")));
    const QByteArray lockBytes = readFile(dir.filePath(QStringLiteral("options.xml.lock")));

    // The second one says so and loads nothing.
    Program second(dir.path(), server);
    QVERIFY(second.process.waitForStarted(20000));
    const QByteArray message = LangMsg::getMsg(QStringLiteral("ALREADY_RUNNING_MESSAGE")).toUtf8();
    QTRY_VERIFY2_WITH_TIMEOUT(second.errors.contains(message) || second.ended(), second.errors.constData(), 20000);
    QVERIFY2(second.errors.contains(message), second.errors.constData());
    // Its message box waits; an end signal closes it (the box closes by
    // itself after a while too).
    if (!second.ended())
        second.signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(second.ended(), 20000);
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 1);
    QCOMPARE(server.requests(QStringLiteral("/cacheversion.txt")), 1);
    QCOMPARE(readFile(settingsFile), QByteArray(SETTINGS));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("data.dat"))), cache);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("options.xml.lock"))), lockBytes);
    QCOMPARE(filesIn(dir.path()), filesWhileFirstRuns);

    // The first one goes on and saves its run at the end.
    QVERIFY(!first.ended());
    first.signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(first.ended(), 20000);
    QCOMPARE(first.process.exitCode(), 0);
    QVERIFY(readFile(settingsFile).contains("<CacheRevision>8</CacheRevision>"));
    QCOMPARE(filesIn(dir.path()), QStringList({QStringLiteral("data.dat"), QStringLiteral("options.xml")}));
}

void TestProgramSignals::lockOfKilledProgramIsTakenOver()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    QVERIFY(writeFile(settingsFile, SETTINGS));
    SlowServer server;
    QVERIFY(server.start());
    serveCatalogue(server);
    {
        Program crashed(dir.path(), server);
        QVERIFY(crashed.process.waitForStarted(20000));
        QVERIFY(server.waitForRequests(QStringLiteral("/getppv.php"), 1, 60000));
        crashed.signal(SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(crashed.ended(), 20000);
    }
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("options.xml.lock"))));

    Program next(dir.path(), server);
    QVERIFY(next.process.waitForStarted(20000));
    QVERIFY(server.waitForRequests(QStringLiteral("/getppv.php"), 2, 60000));
    next.signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(next.ended(), 20000);
    QCOMPARE(next.process.exitCode(), 0);
    QVERIFY(readFile(settingsFile).contains("<CacheRevision>8</CacheRevision>"));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("options.xml.lock"))));
}

QTEST_GUILESS_MAIN(TestProgramSignals)
#include "tst_program_signals.moc"
