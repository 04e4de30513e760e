// The play path with the real players (media engine without video or sound
// output): the player chosen by format, reuse of a player of the same kind,
// stop, pause and full screen with the actions' enabled states, a player that
// cannot be made, and a pay-per-view movie without rental time.
#include "GuiTestSupport.h"

#include "BottomList.h"
#include "MediaPlayerStaticImage.h"
#include "MediaPlayerWMP.h"
#include "PPVDialog.h"
#include "RecordTable.h"
#include "TabFolder.h"
#include "TulErrorDialog.h"

#include <QLabel>
#include <QToolButton>
#include <QWebEngineView>

namespace {

void clickRow(RecordTableView *table, int row)
{
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

int rowNamed(BottomList *tab, const QString &name)
{
    for (int i = 0; i < tab->getTableViewer()->rowCount(); ++i) {
        if (tab->getTableViewer()->element(i)->getName() == name)
            return i;
    }
    return -1;
}

StreamInfoPtr madeStream(const QString &format, const QString &url = QStringLiteral("http://127.0.0.1:9/media/made.mp4"))
{
    auto s = std::make_shared<StreamInfo>();
    s->setName(QStringLiteral("Made ") + format);
    s->setFormat(format);
    s->setUrl(url);
    return s;
}

} // namespace

class TestGuiPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playReusesPlayerOfSameKind();
    void formatWithoutPlayer();
    void stopThenSameKindMakesNewPlayer();
    void emptyAddressStops();
    void pauseAndFullscreen();
    void realPlayerAndQuickTime_data();
    void realPlayerAndQuickTime();
    void playerThatCannotBeMade_data();
    void playerThatCannotBeMade();
    void payPerViewWithoutTime();

private:
    void playRow(int slot, const QString &name);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiPlayback::initTestCase()
{
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiPlayback::init()
{
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    // The media answer late: the players wait for them while a test runs,
    // so no playback failure comes in between.
    const QString media = m_service->mediaUrl(QStringLiteral("held.mp4"));
    m_service->setDelay(QStringLiteral("/media/held.mp4"), 20000);
    m_service->setCatalogue(smallCatalogue(media));
    m_gui = std::make_unique<Gui>();
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->resize(1000, 700);
    m_gui->open(true);
    QVERIFY(QTest::qWaitForWindowExposed(m_gui.get()));
    QVERIFY(waitForLoads(loads, 1));
}

void TestGuiPlayback::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
}

void TestGuiPlayback::playRow(int slot, const QString &name)
{
    BottomList *tab = m_gui->bottomTab(slot);
    QVERIFY(tab);
    m_gui->cBottomTab->setCurrentWidget(tab);
    const int row = rowNamed(tab, name);
    QVERIFY(row >= 0);
    clickRow(tab->getTable(), row);
    QTest::mouseDClick(tab->getTable()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       tab->getTable()->visualRect(tab->getTable()->model()->index(row, 0)).center());
}

void TestGuiPlayback::playReusesPlayerOfSameKind()
{
    playRow(1, QStringLiteral("Bravo News"));
    auto *first = dynamic_cast<MediaPlayerWMP *>(m_gui->mediaPlayer.get());
    QVERIFY(first);
    QCOMPARE(m_gui->currentPlayer, Gui::WMP);
    QCOMPARE(m_gui->currentStream->getName(), QStringLiteral("Bravo News"));
    // Right after the choice, then once the player has taken the address.
    QCOMPARE(m_gui->statusLine->text(), QStringLiteral("Playing: Bravo News"));
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
    QVERIFY(m_gui->actionStop->isEnabled() && m_gui->actionStopMenu->isEnabled());
    QVERIFY(m_gui->actionFullscreen->isEnabled() && m_gui->actionFullscreenMenu->isEnabled());
    QVERIFY(m_gui->actionPause->isEnabled() && m_gui->actionPauseMenu->isEnabled());

    // A second stream of the same kind: the same player, a new address.
    playRow(2, QStringLiteral("Radio One"));
    QCOMPARE(m_gui->mediaPlayer.get(), first);
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Radio One"));
}

void TestGuiPlayback::formatWithoutPlayer()
{
    playRow(1, QStringLiteral("Bravo News"));
    MediaPlayer *before = m_gui->mediaPlayer.get();
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
    for (const QString &format : {QStringLiteral("wmp"), QString()}) {
        m_gui->currentStream = madeStream(format);
        m_gui->actionMediaplayerInvoke->run();
        QCOMPARE(m_gui->mediaPlayer.get(), before);
        QCOMPARE(m_gui->currentPlayer, Gui::WMP);
        QTest::qWait(20);
        QCOMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
    }
    // Before any kind was chosen, only a stop runs.
    QCOMPARE(Gui::playerKind(QStringLiteral("Icecast")), Gui::WMP);
    QCOMPARE(Gui::playerKind(QStringLiteral("RM")), Gui::RP);
    QCOMPARE(Gui::playerKind(QStringLiteral("QT")), Gui::QT);
    QCOMPARE(Gui::playerKind(QStringLiteral("wmp")), Gui::NONE);
}

void TestGuiPlayback::stopThenSameKindMakesNewPlayer()
{
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->mediaPlayer.get()));
    // The player tab's stop button.
    QTest::mouseClick(m_gui->stopButton, Qt::LeftButton);
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->mediaPlayer.get()));
    QCOMPARE(m_gui->currentPlayer, Gui::WMP);
    QVERIFY(m_gui->actionPlay->isEnabled());
    for (GuiAction *a : {m_gui->actionStop, m_gui->actionStopMenu, m_gui->actionPause, m_gui->actionPauseMenu,
                         m_gui->actionFullscreen, m_gui->actionFullscreenMenu})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->mediaPlayer.get()));
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
}

void TestGuiPlayback::emptyAddressStops()
{
    playRow(1, QStringLiteral("Bravo News"));
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
    playRow(1, QStringLiteral("Delta Silent"));
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->mediaPlayer.get()));
    QCOMPARE(m_gui->currentStream->getName(), QStringLiteral("Delta Silent"));
    QTest::qWait(20);
    QCOMPARE(m_gui->statusLine->text(), QStringLiteral("Playing Bravo News"));
}

void TestGuiPlayback::pauseAndFullscreen()
{
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(m_gui->actionPauseMenu->isEnabled());
    // Space pauses.
    m_gui->actionPauseMenu->trigger();
    QVERIFY(!m_gui->actionPause->isEnabled());
    QVERIFY(!m_gui->actionPauseMenu->isEnabled());
    // Full screen on, then off, as the player reports it.
    QVERIFY(!m_gui->mediaPlayer->isFullscreen());
    QTest::mouseClick(m_gui->fullscreenButton, Qt::LeftButton);
    QVERIFY(m_gui->mediaPlayer->isFullscreen());
    m_gui->actionFullscreenMenu->trigger();
    QVERIFY(!m_gui->mediaPlayer->isFullscreen());
    m_gui->actionStop->run();
}

void TestGuiPlayback::realPlayerAndQuickTime_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<bool>("repeated");
    QTest::newRow("RealPlayer after Windows Media Player") << "RM" << int(Gui::RP) << true << false;
    QTest::newRow("QuickTime: the address once more") << "QT" << int(Gui::QT) << false << true;
}

void TestGuiPlayback::realPlayerAndQuickTime()
{
    QFETCH(QString, format);
    QFETCH(int, kind);
    QFETCH(bool, fullscreen);
    QFETCH(bool, repeated);
    playRow(1, QStringLiteral("Bravo News"));
    MediaPlayer *wmp = m_gui->mediaPlayer.get();
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(wmp));
    m_gui->currentStream = madeStream(format, m_service->mediaUrl(QStringLiteral("held.mp4")));
    const QString expectedStatus = QStringLiteral("Playing ") + m_gui->currentStream->getName();
    m_gui->actionMediaplayerInvoke->run();
    MediaPlayer *player = m_gui->mediaPlayer.get();
    QVERIFY(player && player != wmp);
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(player));
    QCOMPARE(m_gui->currentPlayer, kind);
    QCOMPARE(m_gui->actionFullscreen->isEnabled(), fullscreen);
    QCOMPARE(m_gui->actionFullscreenMenu->isEnabled(), fullscreen);
    QVERIFY(m_gui->actionStop->isEnabled());
    QCOMPARE(m_gui->qtHack, true);
    QTest::qWait(30);
    // The QuickTime repeat reuses the player and clears the switch.
    QCOMPARE(m_gui->qtHack, !repeated);
    QCOMPARE(m_gui->mediaPlayer.get(), player);
    QCOMPARE(m_gui->statusLine->text(), expectedStatus);
    // A further stream of that kind without a stop gets no repeat.
    m_gui->actionMediaplayerInvoke->run();
    QTest::qWait(30);
    QCOMPARE(m_gui->mediaPlayer.get(), player);
    QCOMPARE(m_gui->qtHack, !repeated);
}

void TestGuiPlayback::playerThatCannotBeMade_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("RealPlayer") << "RM" << int(Gui::RP) << true;
    QTest::newRow("QuickTime") << "QT" << int(Gui::QT) << false;
}

void TestGuiPlayback::playerThatCannotBeMade()
{
    QFETCH(QString, format);
    QFETCH(int, kind);
    QFETCH(bool, fullscreen);
    qputenv("QUORVANTEL_MPV_DISABLE", "1");
    QPointer<QWidget> error;
    QWidget *parent = nullptr;
    ModalAnswers answers;
    answers.recordAndClose(&error, &parent);
    m_gui->currentStream = madeStream(format);
    m_gui->actionMediaplayerInvoke->run();
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, m_gui.get());
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->mediaPlayer.get()));
    QCOMPARE(m_gui->currentPlayer, kind);
    QTRY_COMPARE(m_gui->statusLine->text(), QStringLiteral("Could not change stream, try again."));
    QVERIFY(m_gui->actionStop->isEnabled());
    QCOMPARE(m_gui->actionFullscreen->isEnabled(), fullscreen);
    // No repeat of the failed creation follows.
    QTest::qWait(100);
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiPlayback::payPerViewWithoutTime()
{
    // A movie without rental time opens its description; an order that is
    // confirmed there reloads the catalogue.
    m_service->setPpvMovies({[] {
        RefService::PpvMovie m;
        m.id = 801;
        m.name = QStringLiteral("Not Rented");
        m.category = QStringLiteral("Drama");
        m.length = 3000;
        return m;
    }()});
    m_service->clearRentals();
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    BottomList *ppv = m_gui->bottomTab(9);
    QVERIFY(ppv);
    m_gui->cBottomTab->tabBar()->setCurrentIndex(m_gui->cBottomTab->indexOf(ppv));

    QWidget *parent = nullptr;
    bool isPpvDialog = false;
    const QString verify = m_service->baseUrl() + QStringLiteral("/ppv/ppvorder_verify.php?serial=&videoid=801");
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *dialog = qobject_cast<PpvDescriptionBrowserDialog *>(w);
        isPpvDialog = dialog != nullptr;
        parent = w->parentWidget();
        if (!dialog) {
            w->close();
            return;
        }
        QCOMPARE(dialog->getStreamId(), 801);
        // The order pages end at the confirmation address.
        dialog->browser()->load(QUrl(verify));
        QTRY_VERIFY_WITH_TIMEOUT(dialog->browser()->url().toString().contains(QLatin1String("ppvorder_verify")),
                                 10000);
        dialog->reject();
    });
    playRow(9, QStringLiteral("Not Rented"));
    QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 15000);
    QVERIFY(isPpvDialog);
    QCOMPARE(parent, m_gui.get());
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->mediaPlayer.get()));
    // The confirmed order reloads: the movie is now rented.
    QVERIFY(waitForLoads(loads, 2));
    QVERIFY(m_gui->ppvTab);
    QCOMPARE(m_gui->ppvTableViewer->rowCount(), 1);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestGuiPlayback test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui_playback.moc"
