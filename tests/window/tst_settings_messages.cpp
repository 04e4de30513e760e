// What the user is told about the settings file: a save that fails during
// the run or at its end is shown in a box that says why and where the
// earlier file stays; the box at the end does not wait for good, and an end
// signal closes it at once. The failure is a real one: a file size limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored) that the settings file exceeds.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/LangMsg.h"
#include "window/Application.h"
#include "window/Program.h"
#include "window/SettingsMessages.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <optional>
#include <sys/resource.h>

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

// The box that was shown (and closed at once).
struct SeenBox
{
    bool shown = false;
    QString name;
    QWidget *parent = nullptr;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
};

void recordAndClose(ModalAnswers &answers, SeenBox &seen)
{
    answers.then([&seen](QWidget *w) {
        seen.shown = true;
        seen.name = w->objectName();
        seen.parent = w->parentWidget();
        seen.title = w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            seen.text = box->text();
            seen.format = box->textFormat();
        }
        w->close();
    });
}

// Files of this process may grow to 40 bytes while it lives: a settings
// file is larger.
class SizeLimit
{
public:
    SizeLimit(const SizeLimit &) = delete;
    SizeLimit &operator=(const SizeLimit &) = delete;
    SizeLimit()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = 40;
        m_set = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~SizeLimit() { lift(); }
    bool isSet() const { return m_set; }
    void lift()
    {
        if (m_set)
            ::setrlimit(RLIMIT_FSIZE, &m_old);
        m_set = false;
    }

private:
    rlimit m_old{};
    bool m_set = false;
};

} // namespace

class TestSettingsMessages : public QObject
{
    Q_OBJECT

private slots:
    void failedSaveDuringRun_data();
    void failedSaveDuringRun();
    void failedSaveAtEnd();
    void endingMessageDoesNotWaitForGood();
    void alreadyRunningText();
    // Last: it leaves the end signals taken in.
    void endSignalClosesEndingMessage();
};

void TestSettingsMessages::failedSaveDuringRun_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("account key") << "serial";
    QTest::newRow("mode") << "mode";
}

void TestSettingsMessages::failedSaveDuringRun()
{
    QFETCH(QString, change);
    TestWorkspace workspace;
    const QString settingsFile = workspace.file(QStringLiteral("options.xml"));
    const QByteArray before = readFile(settingsFile);
    QVERIFY(before.contains("<Mode>true</Mode>"));
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());

    SeenBox seen;
    QString reason;
    QByteArray during;
    bool limited = false;
    Gui *window = nullptr;
    runMainWindow([&](Gui &gui) {
        window = &gui;
        QObject::connect(&gui, &Gui::loadFinished, &gui, [&] {
            ModalAnswers answers;
            recordAndClose(answers, seen);
            {
                SizeLimit limit;
                limited = limit.isSet();
                if (change == QLatin1String("serial"))
                    Options::setSerial(QStringLiteral("NEW-KEY")); // saves at once, fails, shows the box
                else
                    Options::setMode(false);
                limit.lift();
                reason = Options::lastWriteFailure().reason;
            }
            during = readFile(settingsFile);
            window->close();
        }, Qt::SingleShotConnection);
    });
    QVERIFY(limited);
    QVERIFY2(seen.shown, "no box was shown");
    QCOMPARE(seen.name, QStringLiteral("settingsNotSaved"));
    QCOMPARE(seen.parent, static_cast<QWidget *>(window));
    QCOMPARE(seen.title, msg("SETTINGS_NOT_SAVED_TITLE"));
    QCOMPARE(seen.format, Qt::PlainText);
    const QString &text = seen.text;
    QVERIFY2(text.startsWith(msg("SETTINGS_NOT_SAVED_MESSAGE")), qPrintable(text));
    QVERIFY2(text.contains(msg("SETTINGS_NOT_SAVED_REASON") + u' ' + QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(text));
    QVERIFY2(text.contains(msg("SETTINGS_NOT_SAVED_KEPT") + u'\n' + QFileInfo(settingsFile).absoluteFilePath()),
             qPrintable(text));
    QVERIFY(!reason.isEmpty());
    // The earlier file stayed, and the save at the end wrote the change.
    QCOMPARE(during, before);
    const QByteArray after = readFile(settingsFile);
    if (change == QLatin1String("serial"))
        QVERIFY2(after.contains("<Serial>NEW-KEY</Serial>"), after.constData());
    else
        QVERIFY2(after.contains("<Mode>false</Mode>"), after.constData());
}

void TestSettingsMessages::failedSaveAtEnd()
{
    TestWorkspace workspace;
    const QString settingsFile = workspace.file(QStringLiteral("options.xml"));
    const QByteArray before = readFile(settingsFile);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());

    // The window closes under the limit: the save at the end fails.
    SeenBox seen;
    ModalAnswers answers;
    recordAndClose(answers, seen);
    std::optional<SizeLimit> limit;
    runMainWindow([&](Gui &gui) {
        QObject::connect(&gui, &Gui::loadFinished, &gui, [&] {
            limit.emplace();
            gui.close();
        }, Qt::SingleShotConnection);
    });
    const bool limited = limit && limit->isSet();
    limit.reset();
    QVERIFY(limited);
    QVERIFY2(seen.shown, "no box was shown");
    QCOMPARE(seen.name, QStringLiteral("endingMessage"));
    QCOMPARE(seen.parent, static_cast<QWidget *>(nullptr));
    QCOMPARE(seen.title, msg("SETTINGS_NOT_SAVED_TITLE"));
    QCOMPARE(seen.format, Qt::PlainText);
    const QString &text = seen.text;
    QVERIFY2(text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(text));
    QVERIFY2(text.contains(QFileInfo(settingsFile).absoluteFilePath()), qPrintable(text));
    QCOMPARE(readFile(settingsFile), before);
}

void TestSettingsMessages::endingMessageDoesNotWaitForGood()
{
    // Nobody answers: the box closes by itself. A box still open after
    // 20 s is closed here and fails the test.
    bool forced = false;
    bool shown = false;
    QTimer watch;
    watch.setInterval(5);
    QElapsedTimer since;
    since.start();
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            shown = shown || qobject_cast<QMessageBox *>(w);
            if (since.elapsed() > 20000) {
                forced = true;
                w->close();
            }
        }
    });
    watch.start();
    showEndingMessage(QStringLiteral("Title"), QStringLiteral("<b>text</b>"), 200);
    QVERIFY(shown);
    QVERIFY(!forced);
}

void TestSettingsMessages::alreadyRunningText()
{
    SeenBox seen;
    ModalAnswers answers;
    recordAndClose(answers, seen);
    showAlreadyRunning();
    QVERIFY(seen.shown);
    QCOMPARE(seen.title, msg("ALREADY_RUNNING_TITLE"));
    QCOMPARE(seen.text, msg("ALREADY_RUNNING_MESSAGE"));
    QCOMPARE(seen.format, Qt::PlainText);
}

void TestSettingsMessages::endSignalClosesEndingMessage()
{
    auto *app = qobject_cast<Application *>(QCoreApplication::instance());
    QVERIFY(app);
    app->catchEndSignals();
    QSignalSpy ends(app, &Application::endRequested);
    bool forced = false;
    bool shown = false;
    QTimer watch;
    watch.setInterval(5);
    QElapsedTimer since;
    since.start();
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            if (!shown) {
                shown = true;
                ::raise(SIGTERM);
            } else if (since.elapsed() > 20000) {
                forced = true;
                w->close();
            }
        }
    });
    watch.start();
    showEndingMessage(QStringLiteral("Title"), QStringLiteral("text"));
    QVERIFY(shown);
    QVERIFY(!forced);
    QCOMPARE(ends.count(), 1);
    QVERIFY(app->endSignalled());
    // Once told to end by a signal, a message goes to standard error only.
    shown = false;
    showEndingMessage(QStringLiteral("Title"), QStringLiteral("text"));
    QVERIFY(!shown);
    // The first signal gave SIGTERM its default action back.
    struct sigaction now{};
    QCOMPARE(::sigaction(SIGTERM, nullptr, &now), 0);
    QVERIFY(now.sa_handler == SIG_DFL);
}

int main(int argc, char **argv)
{
    Application app(argc, argv);
    TestSettingsMessages test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_messages.moc"
