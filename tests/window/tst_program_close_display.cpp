// The built program on the X display, closed as a user closes it (Alt+F4,
// then OK in the question) while its catalogue download stalls: it ends at
// once with status 0, the settings are written as they were at the close and
// the cache file stays as it was. Keys are typed with xdotool.
#include "tests/SlowServer.h"
#include "tests/window/ProgramCloseSupport.h"

#include "service/ReferenceService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(SlowServer::Mode)

namespace {

using closetest::readFile;
using closetest::SETTINGS;
using closetest::writeFile;

QByteArray catalogue()
{
    return closetest::catalogue(0);
}

// Runs xdotool with arguments; its standard output, or nothing when it
// failed or did not end within 30 s.
std::optional<QByteArray> xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(30000)) {
        tool.kill();
        tool.waitForFinished(5000);
        return std::nullopt;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return tool.readAllStandardOutput();
}

// The first visible window of the process whose title matches name, waited
// for up to 60 s. xdotool's search can fail on its own while the program is
// still creating and destroying windows (a window it looks at is gone before
// it reads its properties): a failed search is made again.
QString findWindow(qint64 pid, const QString &name)
{
    QDeadlineTimer deadline(60000);
    do {
        const std::optional<QByteArray> out =
            xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--all"),
                     QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(pid),
                     QStringLiteral("--name"), name});
        const QString window = out ? QString::fromLatin1(out->split('\n').value(0)).trimmed() : QString();
        if (!window.isEmpty())
            return window;
    } while (!deadline.hasExpired());
    return QString();
}

} // namespace

class TestProgramCloseDisplay : public QObject
{
    Q_OBJECT

private slots:
    void altF4WhileCatalogueStalls_data();
    void altF4WhileCatalogueStalls();
};

void TestProgramCloseDisplay::altF4WhileCatalogueStalls_data()
{
    QTest::addColumn<SlowServer::Mode>("mode");
    QTest::newRow("stalled") << SlowServer::Mode::Stall;
    QTest::newRow("trickling") << SlowServer::Mode::Trickle;
}

void TestProgramCloseDisplay::altF4WhileCatalogueStalls()
{
    QFETCH(SlowServer::Mode, mode);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("no X display");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settingsFile = dir.filePath(QStringLiteral("options.xml"));
    const QString cacheFile = dir.filePath(QStringLiteral("data.dat"));
    const QByteArray cache = RefService::gzipCompress(catalogue());
    QVERIFY(writeFile(settingsFile, SETTINGS));
    QVERIFY(writeFile(cacheFile, cache));

    SlowServer server;
    QVERIFY(server.start());
    server.setWhole(QStringLiteral("/cacheversion.txt"), "8\n");
    SlowServer::Route slow;
    slow.mode = mode;
    slow.body = catalogue();
    slow.trickleBytes = 3;
    slow.trickleMs = 200;
    server.setRoute(QStringLiteral("/getstreams.php"), slow);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    for (const char *name : {"QUORVANTEL_CATALOGUE_HOST", "QUORVANTEL_ORDER_HOST", "QUORVANTEL_FORUM_HOST",
                             "QUORVANTEL_MAKER_HOST", "QUORVANTEL_ICECAST_HOST"})
        env.insert(QString::fromLatin1(name), server.hostPort());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(QV_PROGRAM), {});
    QVERIFY(program.waitForStarted(20000));
    auto end = qScopeGuard([&] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    });

    QVERIFY(server.waitForRequests(QStringLiteral("/getstreams.php"), 1, 60000));
    const QString window = findWindow(program.processId(), QStringLiteral("^Quorvantel"));
    QVERIFY2(!window.isEmpty(), "the main window was not found");
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                     QStringLiteral("alt+F4")}));
    const QString question = findWindow(program.processId(), QStringLiteral("^Sure\\?$"));
    QVERIFY2(!question.isEmpty(), "the exit question was not found");
    // OK is the question's default button. The X focus may reach the
    // question before the program has taken it in, and a key typed then goes
    // to the main window: Return is typed again while the question is there.
    QElapsedTimer sinceClose;
    for (int attempt = 0; attempt < 20 && program.state() != QProcess::NotRunning; ++attempt) {
        if (!xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), question, QStringLiteral("key"),
                      QStringLiteral("Return")}))
            break; // the question is gone
        sinceClose.start();
        if (program.waitForFinished(500))
            break;
    }

    const bool ended = program.state() == QProcess::NotRunning || program.waitForFinished(5000);
    const qint64 closeMs = sinceClose.isValid() ? sinceClose.elapsed() : -1;
    QVERIFY2(ended, "the program still ran 5 s after its window was closed");
    qInfo("The program ended %lld ms after the close", closeMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const QByteArray xml = readFile(settingsFile);
    QVERIFY2(xml.contains("<Serial>KEY-4711</Serial>"), xml.constData());
    QVERIFY2(xml.contains("<Mode>true</Mode>"), xml.constData());
    QVERIFY2(xml.contains("<Password>101</Password>"), xml.constData());
    QVERIFY2(xml.contains("<CacheRevision>7</CacheRevision>"), xml.constData());
    QVERIFY2(xml.contains("<StreamId>11</StreamId>"), xml.constData());
    QCOMPARE(readFile(cacheFile), cache);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList({QStringLiteral("data.dat"), QStringLiteral("options.xml")}));
}

QTEST_GUILESS_MAIN(TestProgramCloseDisplay)
#include "tst_program_close_display.moc"
