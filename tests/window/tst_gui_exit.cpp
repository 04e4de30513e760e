// The program's end and its safety net: the settings are written when the
// window closes (also during a load), an exception that escapes a handler is
// printed and the event loop goes on, and the broken-stream report.
#include "tests/window/GuiTestSupport.h"

#include "window/Application.h"
#include "window/BottomList.h"
#include "window/Program.h"
#include "window/RecordTable.h"
#include "window/dialogs/TulErrorDialog.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <cstdio>
#include <unistd.h>

namespace {

// Catches what is written to the standard error stream while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_file.open();
        m_saved = dup(fileno(stderr));
        dup2(m_file.handle(), fileno(stderr));
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        QFile f(m_file.fileName());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, fileno(stderr));
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

class Throwing : public QObject
{
public:
    int events = 0;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            ++events;
            throw std::runtime_error("handler failed on purpose");
        }
        return QObject::event(e);
    }
};

} // namespace

class TestGuiExit : public QObject
{
    Q_OBJECT

private slots:
    void settingsWrittenAtExit();
    void closeDuringLoadWritesSettings();
    void exceptionInEventHandler();
    void exceptionInAction();
    void brokenStreamReport_data();
    void brokenStreamReport();
    void reportWithoutSelection();
};

void TestGuiExit::settingsWrittenAtExit()
{
    TestWorkspace workspace;
    Options::setUpdateEnabled(true);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    int favoriteId = 0;
    runMainWindow([&](Gui &gui) {
        QObject::connect(&gui, &Gui::loadFinished, &gui, [&gui, &favoriteId] {
            const StreamInfoPtr stream = gui.streamTabs()->bottomTab(1)->getTableViewer()->element(0);
            favoriteId = stream->getId();
            gui.addFavoriteStream(stream);
            probe(gui).actionAutomaticUpdateToggle()->trigger();
            // The title-bar close: no question.
            gui.close();
        });
    });
    QVERIFY(favoriteId != 0);
    const QByteArray xml = readFile(workspace.file(QStringLiteral("options.xml")));
    QVERIFY2(xml.contains("<UpdateEnabled>false</UpdateEnabled>"), xml.constData());
    QVERIFY2(xml.contains("<StreamId>" + QByteArray::number(favoriteId) + "</StreamId>"), xml.constData());
    QVERIFY(xml.contains("<CacheRevision>1</CacheRevision>"));
}

void TestGuiExit::closeDuringLoadWritesSettings()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    // The catalogue is held: the window closes while it downloads, and the
    // held request ends when the service stops.
    const QString path = QStringLiteral("/getstreams.php");
    service->holdReplies(path);
    bool runningAtClose = false;
    runMainWindow([&](Gui &gui) {
        auto *poll = new QTimer(&gui);
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, &gui, [&gui, &runningAtClose, &service, &path, poll] {
            if (service->heldRequestCount(path) == 0)
                return;
            poll->stop();
            runningAtClose = gui.isLoadRunning();
            gui.close();
        });
        poll->start();
    });
    QVERIFY(runningAtClose);
    // The close stopped the load: its catalogue never came, so neither the
    // revision nor a cache file was stored; the settings were written once,
    // at the close.
    const QByteArray xml = readFile(workspace.file(QStringLiteral("options.xml")));
    QVERIFY2(xml.contains("<CacheRevision>0</CacheRevision>"), xml.constData());
    QVERIFY2(xml.contains("<Mode>true</Mode>"), xml.constData());
    QVERIFY(!QFile::exists(workspace.file(QStringLiteral("data.dat"))));
}

void TestGuiExit::exceptionInEventHandler()
{
    QVERIFY(qobject_cast<Application *>(qApp));
    Throwing target;
    StderrCapture capture;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTRY_COMPARE(target.events, 2);
    // The loop goes on.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    QTRY_VERIFY(ran);
    const QByteArray err = capture.text();
    QVERIFY2(err.contains("handler failed on purpose"), err.constData());
    QCOMPARE(err.count("handler failed on purpose"), 2);
}

void TestGuiExit::exceptionInAction()
{
    GuiAction action(QStringLiteral("Broken"), nullptr, [] { throw std::logic_error("action failed on purpose"); });
    StderrCapture capture;
    action.trigger();
    action.run();
    QCOMPARE(action.runCount(), 2);
    const QByteArray err = capture.text();
    QCOMPARE(err.count("action failed on purpose"), 2);
    QVERIFY(err.contains("Broken"));
}

void TestGuiExit::brokenStreamReport_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("errorShown");
    QTest::newRow("Yes, answered OK") << int(QMessageBox::Yes) << QByteArray("OK") << true
                                      << "The report has been sent" << false;
    // The status line keeps what it showed unless the report was sent.
    QTest::newRow("No: nothing sent") << int(QMessageBox::No) << QByteArray("OK") << false << "Playing Radio One"
                                      << false;
    QTest::newRow("Yes, refused") << int(QMessageBox::Yes) << QByteArray("Error") << true << "Playing Radio One"
                                  << true;
}

void TestGuiExit::brokenStreamReport()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, reply);
    QFETCH(bool, sent);
    QFETCH(QString, status);
    QFETCH(bool, errorShown);
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    service->setReply(QStringLiteral("/brokenstreamreport.php"), reply);
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.resize(900, 700);
    gui.open(true);
    QVERIFY(QTest::qWaitForWindowExposed(&gui));
    QVERIFY(waitForLoads(loads, 1));
    probe(gui).statusLine()->setText(QStringLiteral("Playing Radio One"));

    BottomList *tv = gui.streamTabs()->bottomTab(1);
    clickRow(tv->getTable(), 1);
    const StreamInfoPtr stream = tv->getTableViewer()->element(1);
    QString question;
    QWidget *questionParent = nullptr;
    QMessageBox::Icon questionIcon = QMessageBox::NoIcon;
    QPointer<QWidget> error;
    QWidget *errorParent = nullptr;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        question = box->windowTitle() + QLatin1Char('|') + box->text();
        questionParent = box->parentWidget();
        questionIcon = box->icon();
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    if (errorShown)
        answers.recordAndClose(&error, &errorParent);
    // From the tab's context menu.
    QMenu *menu = tv->getTable()->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(2)->trigger();
    QTRY_VERIFY(answers.done());
    QCOMPARE(question, QStringLiteral("Report dead link|Report this link as dead: ") + stream->getName());
    QCOMPARE(questionParent, &gui);
    QCOMPARE(questionIcon, QMessageBox::Question);
    QCOMPARE(gui.playback()->currentStream().get(), stream.get());
    QCOMPARE(service->requestCount(QStringLiteral("/brokenstreamreport.php")), sent ? 1 : 0);
    if (sent) {
        const auto requests = service->requests(QStringLiteral("/brokenstreamreport.php"));
        QCOMPARE(requests.front().query, "id=" + QByteArray::number(stream->getId()));
    }
    QCOMPARE(probe(gui).statusLine()->text(), status);
    if (errorShown) {
        QVERIFY(error.isNull() || qobject_cast<TulErrorDialog *>(error.data()));
        QCOMPARE(errorParent, &gui);
    }
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiExit::reportWithoutSelection()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(probe(gui).currentTable()->selectionIndex(), -1);
    ModalAnswers answers;
    probe(gui).actionReportBrokenLink()->run();
    QVERIFY(waitForPostedTasks());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(service->requestCount(QStringLiteral("/brokenstreamreport.php")), 0);
}

int main(int argc, char **argv)
{
    Application app(argc, argv);
    TestGuiExit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui_exit.moc"
