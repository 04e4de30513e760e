// The close of the window while a download of the load hangs: the program
// ends at once with status 0, whatever the server does, the settings are
// written once with what the user did before the close, and the cache file
// stays as it was.
//
// The program runs as a process of its own: this test program started again
// with "--program", which runs the program's start-up (settings read, the
// application object, the main window until it closes, the settings written)
// on the offscreen platform in the working directory it is given. It closes
// its window when it reads a line on its standard input.
#include "tests/SlowServer.h"
#include "tests/window/ProgramCloseSupport.h"

#include "catalogue/Options.h"
#include "service/ReferenceService.h"
#include "window/Application.h"
#include "window/Gui.h"
#include "window/Program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cstdio>
#include <unistd.h>

Q_DECLARE_METATYPE(SlowServer::Mode)

namespace {

// The program as window/main.cpp runs it; the window closes at the first
// line on standard input, after the account key was changed the way the
// account action changes it ("KEY-NEW", written at once).
int runProgram(int argc, char **argv)
{
    Options::readFromDisk(nullptr, nullptr, false, true);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return runMainWindow([](Gui &gui) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &gui);
        QObject::connect(input, &QSocketNotifier::activated, &gui, [&gui, input] {
            input->setEnabled(false);
            Options::setSerial(QStringLiteral("KEY-NEW"));
            gui.close();
        });
        std::printf("shown\n");
        std::fflush(stdout);
    });
}

using closetest::readFile;
using closetest::SETTINGS;
using closetest::writeFile;

QByteArray catalogue()
{
    return closetest::catalogue(300);
}

} // namespace

class TestProgramClose : public QObject
{
    Q_OBJECT

private slots:
    void closeWhileDownloading_data();
    void closeWhileDownloading();
};

void TestProgramClose::closeWhileDownloading_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<SlowServer::Mode>("mode");
    QTest::addColumn<int>("serverRevision");

    using M = SlowServer::Mode;
    QTest::newRow("revision stalls") << "/cacheversion.txt" << M::Stall << 8;
    QTest::newRow("revision unanswered") << "/cacheversion.txt" << M::Silent << 8;
    QTest::newRow("catalogue stalls") << "/getstreams.php" << M::Stall << 8;
    QTest::newRow("catalogue trickles") << "/getstreams.php" << M::Trickle << 8;
    QTest::newRow("catalogue unanswered") << "/getstreams.php" << M::Silent << 8;
    QTest::newRow("directory stalls") << "/yp.xml" << M::Stall << 7;
    QTest::newRow("directory trickles") << "/yp.xml" << M::Trickle << 7;
    QTest::newRow("pay-per-view stalls") << "/getppv.php" << M::Stall << 7;
    QTest::newRow("pay-per-view trickles") << "/getppv.php" << M::Trickle << 7;
    QTest::newRow("pay-per-view unanswered") << "/getppv.php" << M::Silent << 7;
}

void TestProgramClose::closeWhileDownloading()
{
    QFETCH(QString, path);
    QFETCH(SlowServer::Mode, mode);
    QFETCH(int, serverRevision);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    const QString cacheFile = dir.filePath(QStringLiteral("data.dat"));
    // The cache of revision 7, as an earlier run left it.
    const QByteArray cache = RefService::gzipCompress(catalogue());
    QVERIFY(writeFile(settingsFile, SETTINGS));
    QVERIFY(writeFile(cacheFile, cache));

    SlowServer server;
    QVERIFY(server.start());
    // The revision's last line counts: blank lines first make it long
    // enough to stall after its first bytes.
    server.setWhole(QStringLiteral("/cacheversion.txt"), QByteArray(100, '\n') + QByteArray::number(serverRevision) + '\n');
    server.setWhole(QStringLiteral("/getstreams.php"), catalogue());
    server.setWhole(QStringLiteral("/yp.xml"), RefService::demoDirectory(server.hostPort()));
    server.setWhole(QStringLiteral("/getppv.php"),
                    RefService::ppvDocument(RefService::demoPpvMovies(), {RefService::PpvRental{1, 3600}}));
    SlowServer::Route slow;
    slow.mode = mode;
    slow.body = path == QLatin1String("/cacheversion.txt") ? QByteArray(100, '\n') + "8\n" : catalogue();
    if (path == QLatin1String("/yp.xml"))
        slow.body = RefService::demoDirectory(server.hostPort());
    else if (path == QLatin1String("/getppv.php"))
        slow.body = RefService::ppvDocument(RefService::demoPpvMovies(), {});
    slow.trickleBytes = 3;
    slow.trickleMs = 200;
    server.setRoute(path, slow);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QPA_OFFSCREEN_NO_GLX"), QStringLiteral("1"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    for (const char *name : {"QUORVANTEL_CATALOGUE_HOST", "QUORVANTEL_ORDER_HOST", "QUORVANTEL_FORUM_HOST",
                             "QUORVANTEL_MAKER_HOST", "QUORVANTEL_ICECAST_HOST"})
        env.insert(QString::fromLatin1(name), server.hostPort());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--program")});
    QVERIFY(program.waitForStarted(20000));

    // The window is up and the download hangs.
    QVERIFY(server.waitForRequests(path, 1, 60000));
    QCOMPARE(program.state(), QProcess::Running);

    QElapsedTimer sinceClose;
    sinceClose.start();
    program.write("close\n");
    const bool ended = program.waitForFinished(5000);
    const qint64 closeMs = sinceClose.elapsed();
    if (!ended) {
        program.kill();
        program.waitForFinished(5000);
    }
    QVERIFY2(ended, "the program still ran 5 s after its window was closed");
    qInfo("The program ended %lld ms after the close", closeMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardOutput().contains("shown"));

    // The settings as they were at the close: the account key changed just
    // before it, everything else as read, the revision of the cache file.
    const QByteArray xml = readFile(settingsFile);
    QVERIFY2(xml.contains("<Serial>KEY-NEW</Serial>"), xml.constData());
    QVERIFY2(xml.contains("<Mode>true</Mode>"), xml.constData());
    QVERIFY2(xml.contains("<Password>101</Password>"), xml.constData());
    QVERIFY2(xml.contains("<CacheRevision>7</CacheRevision>"), xml.constData());
    QVERIFY2(xml.contains("<StreamId>11</StreamId>"), xml.constData());
    // The cache file as it was, and nothing else left behind.
    QCOMPARE(readFile(cacheFile), cache);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList({QStringLiteral("data.dat"), QStringLiteral("options.xml")}));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--program") == 0)
        return runProgram(argc, argv);
    QApplication app(argc, argv);
    TestProgramClose test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_close.moc"
