// The dialogs' actions as the window runs them: the parental filter hiding
// and showing adult content (also when the reload fails), the About box and
// the two forms, each on the main window.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/StreamsManager.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/AboutDialog.h"
#include "window/dialogs/SelectionDialogParental.h"
#include "window/dialogs/StreamTipsDialog.h"
#include "window/dialogs/TipAFriendDialog.h"
#include "window/dialogs/TulErrorDialog.h"
#include "window/players/MediaPlayerStaticImage.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

} // namespace

class TestGuiDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hideAdultContentEvenWhenReloadFails();
    void hidingStopsWhatPlaysNotTheRowTakenLast();
    void showAdultContentAgain();
    void toggleDuringLoadIsNotDropped();
    void aboutBox();
    void tellAFriend();
    void streamSuggestionForm();
    void streamSuggestionSent_data();
    void streamSuggestionSent();

private:
    void toggleAdult(ModalAnswers &answers, QWidget **parent = nullptr);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiDialogs::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setCatalogue(smallCatalogue());
    m_gui = std::make_unique<Gui>();
    QVERIFY(openAndWaitForLoad(*m_gui));
}

void TestGuiDialogs::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

void TestGuiDialogs::toggleAdult(ModalAnswers &answers, QWidget **parent)
{
    answers.then([parent](QWidget *w) {
        auto *selection = qobject_cast<SelectionDialogParental *>(w);
        QVERIFY2(selection, w->metaObject()->className());
        if (parent)
            *parent = selection->parentWidget();
        selection->toggleAdultButton()->click();
    });
}

void TestGuiDialogs::hideAdultContentEvenWhenReloadFails()
{
    BottomList *adult = m_gui->streamTabs()->bottomTab(4);
    QVERIFY(adult);
    // An adult stream plays.
    probe(m_gui).cBottomTab()->setCurrentWidget(adult);
    clickRow(adult->getTable(), 0);
    probe(m_gui).actionPlay()->run();
    QVERIFY(m_gui->playback()->currentStream() && m_gui->playback()->currentStream()->getAdult());
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));

    // The reload that follows will fail: a new revision, a failing download.
    m_service->setRevision(2);
    m_service->setStatus(QStringLiteral("/getstreams.php"), 500);
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    QWidget *parent = nullptr;
    QPointer<QWidget> error;
    ModalAnswers answers;
    toggleAdult(answers, &parent);
    answers.recordAndClose(&error);
    probe(m_gui).actionParentFilterMenu()->run();
    // At once, before the reload has ended.
    QCOMPARE(parent, m_gui.get());
    QVERIFY(!probe(m_gui).manager()->getAdultVisible());
    QVERIFY(!m_gui->streamTabs()->bottomTab(4));
    QVERIFY(!m_gui->streamTabs()->bottomTab(9));
    QVERIFY(!probe(m_gui).ppvTab());
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QVERIFY(m_gui->isLoadRunning());

    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(loads.at(0).at(0).toBool(), false);
    QCOMPARE(answers.handled(), 2);
    QVERIFY(!m_gui->streamTabs()->bottomTab(4));
    QVERIFY(!m_gui->streamTabs()->bottomTab(9));
    QVERIFY(m_gui->streamTabs()->bottomTab(1));
}

void TestGuiDialogs::hidingStopsWhatPlaysNotTheRowTakenLast()
{
    BottomList *adult = m_gui->streamTabs()->bottomTab(4);
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    QVERIFY(adult && tv);
    // An adult stream plays.
    probe(m_gui).cBottomTab()->setCurrentWidget(adult);
    clickRow(adult->getTable(), 0);
    probe(m_gui).actionPlay()->run();
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));

    // A TV row is taken for a report the user then declines: the adult
    // stream goes on playing, but the row taken last is not adult.
    probe(m_gui).cBottomTab()->setCurrentWidget(tv);
    clickRow(tv->getTable(), 0);
    {
        ModalAnswers answers;
        answers.then([](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY2(box, w->metaObject()->className());
            box->button(QMessageBox::No)->click();
        });
        probe(m_gui).actionReportBrokenLink()->run();
        QCOMPARE(answers.handled(), 1);
    }
    QVERIFY(m_gui->playback()->currentStream() && !m_gui->playback()->currentStream()->getAdult());
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));

    // Hiding adult content stops the adult stream that plays.
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    ModalAnswers answers;
    toggleAdult(answers);
    probe(m_gui).actionParentFilterMenu()->run();
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QVERIFY(waitForLoads(loads, 1));
}

void TestGuiDialogs::showAdultContentAgain()
{
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    {
        ModalAnswers answers;
        toggleAdult(answers);
        probe(m_gui).actionParentFilterMenu()->run();
        QVERIFY(waitForLoads(loads, 1));
        QVERIFY(!m_gui->streamTabs()->bottomTab(4));
        // Adult records are gone from the reloaded catalogue.
        for (const StreamInfoPtr &s : *probe(m_gui).manager()->getAllStreams())
            QVERIFY(!s->getAdult());
    }
    {
        ModalAnswers answers;
        toggleAdult(answers);
        probe(m_gui).actionParentFilterMenu()->run();
        QVERIFY(probe(m_gui).manager()->getAdultVisible());
        QVERIFY(waitForLoads(loads, 2));
        QVERIFY(m_gui->streamTabs()->bottomTab(4));
        QCOMPARE(m_gui->streamTabs()->bottomTab(4)->getTableViewer()->rowCount(), 1);
    }
}

void TestGuiDialogs::toggleDuringLoadIsNotDropped()
{
    // The load waits for the catalogue revision until released.
    m_service->holdReplies(QStringLiteral("/cacheversion.txt"));
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(m_gui->isLoadRunning());
    ModalAnswers answers;
    toggleAdult(answers);
    probe(m_gui).actionParentFilterMenu()->run();
    QVERIFY(m_gui->isReloadPending());
    m_service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 2));
    // The second load read the new switch.
    QVERIFY(!m_gui->streamTabs()->bottomTab(4));
    for (const StreamInfoPtr &s : *probe(m_gui).manager()->getAllStreams())
        QVERIFY(!s->getAdult());
}

void TestGuiDialogs::aboutBox()
{
    QWidget *parent = nullptr;
    bool isAbout = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        isAbout = qobject_cast<AboutDialog *>(w) != nullptr;
        parent = w->parentWidget();
        w->close();
    });
    probe(m_gui).actionAbout()->trigger();
    QCOMPARE(answers.handled(), 1);
    QVERIFY(isAbout);
    QCOMPARE(parent, m_gui.get());
}

void TestGuiDialogs::tellAFriend()
{
    QWidget *formParent = nullptr;
    QWidget *boxParent = nullptr;
    QPointer<QWidget> box;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *form = qobject_cast<TipAFriendDialog *>(w);
        QVERIFY2(form, w->metaObject()->className());
        formParent = form->parentWidget();
        form->addressField()->setText(QStringLiteral("friend@example.org"));
        form->sendButton()->click();
    });
    answers.recordAndClose(&box, &boxParent);
    probe(m_gui).actionTipAFriend()->run();
    QCOMPARE(answers.handled(), 2);
    QCOMPARE(formParent, m_gui.get());
    QCOMPARE(boxParent, m_gui.get());
    QCOMPARE(m_service->requestCount(QStringLiteral("/tul/prog/recruitperson.php")), 1);
    const auto request = m_service->requests(QStringLiteral("/tul/prog/recruitperson.php")).front();
    QVERIFY2(request.query.contains("email=friend%40example.org"), request.query.constData());
}

void TestGuiDialogs::streamSuggestionForm()
{
    QWidget *formParent = nullptr;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *form = qobject_cast<StreamTipsDialog *>(w);
        QVERIFY2(form, w->metaObject()->className());
        formParent = form->parentWidget();
        form->cancelButton()->click();
    });
    probe(m_gui).actionTipStream()->run();
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(formParent, m_gui.get());
    QCOMPARE(m_service->requestCount(QStringLiteral("/tul/prog/streamtips.php")), 0);
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiDialogs::streamSuggestionSent_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("answerKind");
    QTest::newRow("answered OK: confirmation") << QByteArray("OK") << "QMessageBox";
    QTest::newRow("refused: error dialog") << QByteArray("NO") << "TulErrorDialog";
}

// The form offers the genres of the window's own catalogue; what it sends is
// answered on the main window.
void TestGuiDialogs::streamSuggestionSent()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, answerKind);
    m_service->setReply(QStringLiteral("/tul/prog/streamtips.php"), reply);
    QStringList genres;
    QString kind, title;
    QWidget *answerParent = nullptr;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *form = qobject_cast<StreamTipsDialog *>(w);
        QVERIFY2(form, w->metaObject()->className());
        for (int i = 0; i < form->categoryCombo()->count(); ++i)
            genres << form->categoryCombo()->itemText(i);
        QTest::keyClicks(form->nameField(), QStringLiteral("New Channel"));
        QTest::keyClicks(form->urlField(), QStringLiteral("http://127.0.0.1:9/new"));
        form->categoryCombo()->setCurrentIndex(form->categoryCombo()->findText(QStringLiteral("Jazz")));
        form->sendButton()->click();
    });
    answers.then([&](QWidget *w) {
        kind = QString::fromLatin1(w->metaObject()->className());
        title = w->windowTitle();
        answerParent = w->parentWidget();
        w->close();
    });
    probe(m_gui).actionTipStream()->run();
    QCOMPARE(answers.handled(), 2);
    QCOMPARE(answers.unexpected(), 0);
    // The genres of the loaded catalogue, without the "all" entry.
    QVERIFY2(genres.contains(QStringLiteral("Jazz")) && genres.contains(QStringLiteral("News")),
             qPrintable(genres.join(u',')));
    QCOMPARE(m_service->requestCount(QStringLiteral("/tul/prog/streamtips.php")), 1);
    const auto request = m_service->requests(QStringLiteral("/tul/prog/streamtips.php")).front();
    QVERIFY2(request.query.contains("streamcategory=Jazz"), request.query.constData());
    QCOMPARE(kind, answerKind);
    QCOMPARE(answerParent, m_gui.get());
    if (answerKind == QLatin1String("TulErrorDialog"))
        QCOMPARE(title, QStringLiteral("Unknown error"));
}

QTEST_MAIN(TestGuiDialogs)
#include "tst_gui_dialogs.moc"
