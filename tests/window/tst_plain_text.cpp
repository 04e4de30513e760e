// Texts from outside (a server's message of the day, stream names, failure
// details, texts handed to the forms) are shown as they stand: markup in them
// is shown literally, its pictures are not read and its links are not
// offered. Each text names a named pipe in the test's directory; opening the
// pipe for reading would block the window, so a watcher holds the write end
// ready: it counts every opening (and so lets the reader go on at once), and
// a test fails when the count is not zero.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/StreamInfo.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/ErrorDisplay.h"
#include "window/dialogs/ModalDialog.h"
#include "window/dialogs/TipAFriendDialog.h"
#include "window/dialogs/TulErrorDialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A named pipe and a thread that waits at its write end. A reader that opens
// the pipe meets the writer at once, reads the end of the file and goes on;
// each such opening is counted.
class PipeWatch
{
public:
    explicit PipeWatch(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_made = ::mkfifo(m_path.constData(), 0600) == 0;
        if (m_made)
            m_thread = std::thread([this] { watch(); });
    }
    ~PipeWatch() { release(); }

    bool made() const { return m_made; }
    int opens() const { return m_opens.load(); }

    // Ends the watcher: a reader of the test's own lets its open return.
    void release()
    {
        if (!m_thread.joinable())
            return;
        m_stopping = true;
        const int reader = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
        m_thread.join();
        if (reader >= 0)
            ::close(reader);
    }

private:
    void watch()
    {
        for (;;) {
            // Returns once some reader has the pipe open.
            const int fd = ::open(m_path.constData(), O_WRONLY);
            if (fd < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            const bool ours = m_stopping.load();
            ::close(fd);
            if (ours)
                return;
            ++m_opens;
        }
    }

    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_opens{0};
    std::thread m_thread;
};

// A text from the table with the pipe's path in place of PIPE.
QString withPipe(QString text, const QString &pipe)
{
    return text.replace(QStringLiteral("PIPE"), pipe);
}

// The label shows exactly this text, as plain text, and offers no link;
// drawing it (as the screen would) reads nothing.
void checkPlain(QLabel *label, const QString &expected)
{
    QVERIFY(label);
    QCOMPARE(label->text(), expected);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY(!label->openExternalLinks());
    label->grab();
}

QLabel *boxLabel(QMessageBox *box)
{
    return box ? box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")) : nullptr;
}

// The modal window as a message box and its text label, drawn once as the
// screen would; anything else is closed, so that the test goes on, and fails
// it (label stays null then).
void takeMessageBox(QWidget *w, QMessageBox *&box, QLabel *&label)
{
    label = nullptr;
    box = qobject_cast<QMessageBox *>(w);
    if (!box)
        w->close();
    QVERIFY2(box, w->metaObject()->className());
    QLabel *found = boxLabel(box);
    if (!found)
        box->close();
    QVERIFY(found);
    box->grab();
    label = found;
}

} // namespace

class TestPlainText : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void messageOfTheDay_data() { hostileTexts(); }
    void messageOfTheDay();
    void statusLineOfPlayedStream_data() { hostileTexts(); }
    void statusLineOfPlayedStream();
    void reportQuestion_data() { hostileTexts(); }
    void reportQuestion();
    void errorBox_data() { hostileTexts(); }
    void errorBox();
    void errorDialog_data() { hostileTexts(); }
    void errorDialog();
    void messageBox_data() { hostileTexts(); }
    void messageBox();
    void formLabel_data() { hostileTexts(); }
    void formLabel();

private:
    void hostileTexts();
    QString hostile();

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<PipeWatch> m_pipe;
};

void TestPlainText::hostileTexts()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("picture") << "<b>Hello</b> <img src=\"PIPE\">";
    QTest::newRow("picture alone") << "<img src=\"PIPE\">";
    QTest::newRow("picture as file address") << "<p><img src=\"file://PIPE\"></p>";
    QTest::newRow("bold") << "<b>Hello</b>";
    QTest::newRow("file link") << "<a href=\"file://PIPE\">Click</a>";
    QTest::newRow("entity") << "&amp;";
    QTest::newRow("less-than alone") << "<";
}

// The row's text, with the path of this test's pipe.
QString TestPlainText::hostile()
{
    QFETCH(QString, text);
    return withPipe(text, m_workspace->file(QStringLiteral("pipe")));
}

void TestPlainText::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_pipe = std::make_unique<PipeWatch>(m_workspace->file(QStringLiteral("pipe")));
    QVERIFY(m_pipe->made());
}

void TestPlainText::cleanup()
{
    int opens = 0;
    if (m_pipe) {
        m_pipe->release();
        opens = m_pipe->opens();
        m_pipe.reset();
    }
    m_workspace.reset();
    QVERIFY2(opens == 0, qPrintable(QStringLiteral("the pipe was opened %1 times").arg(opens)));
}

void TestPlainText::messageOfTheDay()
{
    const QString text = hostile();
    auto service = startService();
    QVERIFY(service);
    service->setMotd(text);
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    QString shown;
    bool plain = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        QMessageBox *box;
        QLabel *label;
        takeMessageBox(w, box, label);
        if (!label)
            return;
        shown = label->text();
        plain = box->textFormat() == Qt::PlainText && label->textFormat() == Qt::PlainText;
        box->button(QMessageBox::Ok)->click();
    });
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(shown, text);
    QVERIFY(plain);
    // The window goes on: the next load comes and shows the message again.
    answers.then([](QWidget *w) { w->close(); });
    gui.updateDatabase();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(answers.handled(), 2);
    QCOMPARE(answers.unexpected(), 0);
}

void TestPlainText::statusLineOfPlayedStream()
{
    const QString text = hostile();
    auto service = startService();
    QVERIFY(service);
    const QString media = heldMedia(*service);
    service->setCatalogue(smallCatalogue(media));
    Gui gui;
    QVERIFY(openAndWaitForLoad(gui));
    auto stream = std::make_shared<StreamInfo>();
    stream->setName(text);
    stream->setFormat(QStringLiteral("WMP"));
    stream->setUrl(media);
    gui.playback()->setCurrentStream(stream);
    probe(gui).actionMediaplayerInvoke()->run();
    checkPlain(probe(gui).statusLine(), QStringLiteral("Playing: ") + text);
    // Once the player has taken the address.
    QTRY_COMPARE_WITH_TIMEOUT(probe(gui).statusLine()->text(), QStringLiteral("Playing ") + text, 15000);
    checkPlain(probe(gui).statusLine(), QStringLiteral("Playing ") + text);
    checkPlain(probe(gui).statusLine2(), probe(gui).statusLine2()->text());
}

void TestPlainText::reportQuestion()
{
    const QString text = hostile();
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(RefService::catalogueDocument(
        {entry(11, text, QStringLiteral("TV"), QStringLiteral("News"), QStringLiteral("Norway"), 300)},
        RefService::CatalogueInfo{}));
    Gui gui;
    QVERIFY(openAndWaitForLoad(gui));
    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QVERIFY(tv);
    probe(gui).cBottomTab()->setCurrentWidget(tv);
    QCOMPARE(tv->getTableViewer()->rowCount(), 1);
    QCOMPARE(tv->getTableViewer()->element(0)->getName(), text);
    clickRow(tv->getTable(), 0);

    QString shown;
    bool plain = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        QMessageBox *box;
        QLabel *label;
        takeMessageBox(w, box, label);
        if (!label)
            return;
        shown = label->text();
        plain = label->textFormat() == Qt::PlainText;
        box->button(QMessageBox::No)->click();
    });
    probe(gui).actionReportBrokenLink()->run();
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(shown, QStringLiteral("Report this link as dead: ") + text);
    QVERIFY(plain);
    QCOMPARE(service->requestCount(QStringLiteral("/brokenstreamreport.php")), 0);
}

void TestPlainText::errorBox()
{
    const QString text = hostile();
    QWidget owner;
    owner.show();
    QString title, shown;
    bool plain = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        QMessageBox *box;
        QLabel *label;
        takeMessageBox(w, box, label);
        if (!label)
            return;
        title = box->windowTitle();
        shown = label->text();
        plain = label->textFormat() == Qt::PlainText;
        box->close();
    });
    ErrorDisplay::tulErrorDialog(text, text, &owner);
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(title, text);
    QCOMPARE(shown, text);
    QVERIFY(plain);
}

void TestPlainText::errorDialog()
{
    // The user message in the bold label, the detail in the report.
    const QString text = hostile();
    QWidget owner;
    TulErrorDialog dialog(&owner, text, {text}, text);
    dialog.show();
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("messageLabel"));
    checkPlain(label, text);
    dialog.grab();
    dialog.setMessage(text + text);
    checkPlain(label, text + text);
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Details >>"))
            button->click();
    }
    auto *report = dialog.findChild<QPlainTextEdit *>();
    QVERIFY(report);
    QVERIFY(report->toPlainText().contains(QStringLiteral("Message: \n") + text + QLatin1Char('\n')));
    dialog.grab();
}

void TestPlainText::messageBox()
{
    const QString text = hostile();
    QWidget owner;
    owner.show();
    QString shown;
    bool plain = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            w->close();
        QVERIFY2(box, w->metaObject()->className());
        box->grab();
        shown = box->text();
        plain = boxLabel(box) && boxLabel(box)->textFormat() == Qt::PlainText;
        box->close();
    });
    showMessageBox(&owner, QMessageBox::Information, text, text);
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(shown, text);
    QVERIFY(plain);
}

void TestPlainText::formLabel()
{
    const QString text = hostile();
    TipAFriendDialog dialog(nullptr);
    dialog.setMessage(text);
    dialog.show();
    checkPlain(dialog.addressLabel(), text);
    dialog.grab();
}

QTEST_MAIN(TestPlainText)
#include "tst_plain_text.moc"
