// The play path with the real players (media engine without video or sound
// output): the player chosen by format, reuse of a player of the same kind,
// stop, pause and full screen with the actions' enabled states, a player that
// cannot be made, and a pay-per-view movie without rental time.
#include "tests/window/GuiTestSupport.h"

#include "platform/MediaControls.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"
#include "platform/OleFrame.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/PPVDialog.h"
#include "window/dialogs/TulErrorDialog.h"
#include "window/players/MediaPlayerQT.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"

#include <QLabel>
#include <QToolButton>
#include <QWebEngineView>

namespace {

int rowNamed(BottomList *tab, const QString &name)
{
    for (int i = 0; i < tab->getTableViewer()->rowCount(); ++i) {
        if (tab->getTableViewer()->element(i)->getName() == name)
            return i;
    }
    return -1;
}

StreamInfoPtr madeStream(const QString &format, const QString &url = unreachableUrl(QStringLiteral("/media/made.mp4")))
{
    auto s = std::make_shared<StreamInfo>();
    s->setName(QStringLiteral("Made ") + format);
    s->setFormat(format);
    s->setUrl(url);
    return s;
}

// The engine of the player shown in the window's player area.
MpvEngine *shownEngine(Gui *gui)
{
    auto *video = gui->playback()->compositeActivex()->findChild<MpvWidget *>();
    return video ? video->engine() : nullptr;
}

// A real QuickTime control that counts the addresses it is handed.
class CountingQuickTime : public QuickTimeControl
{
public:
    CountingQuickTime(QWidget *site, int *setUrlCalls) : QuickTimeControl(site), m_calls(setUrlCalls) {}
    std::optional<Variant> invoke(int id, const QList<Variant> &arguments) override
    {
        if (id == dispatchId(QStringLiteral("SetURL")))
            ++*m_calls;
        return QuickTimeControl::invoke(id, arguments);
    }

private:
    int *m_calls;
};

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
    void formatWithoutPlayerBeforeAnyKind_data();
    void formatWithoutPlayerBeforeAnyKind();
    void stopThenSameKindMakesNewPlayer();
    void emptyAddressStops();
    void pauseAndFullscreen();
    void realPlayerAndQuickTime_data();
    void realPlayerAndQuickTime();
    void quickTimeGetsTheAddressTwice();
    void playerThatCannotBeMade_data();
    void playerThatCannotBeMade();
    void payPerViewWithoutTime();
    void payPerViewWithTimePlays();
    void streamThatFailsSaysSo_data();
    void streamThatFailsSaysSo();

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
    const QString media = heldMedia(*m_service);
    m_service->setCatalogue(smallCatalogue(media));
    m_gui = std::make_unique<Gui>();
    QVERIFY(openAndWaitForLoad(*m_gui));
}

void TestGuiPlayback::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    OleControlRegistry::restoreDefaults();
}

void TestGuiPlayback::playRow(int slot, const QString &name)
{
    BottomList *tab = m_gui->streamTabs()->bottomTab(slot);
    QVERIFY(tab);
    probe(m_gui).cBottomTab()->setCurrentWidget(tab);
    const int row = rowNamed(tab, name);
    QVERIFY(row >= 0);
    clickRow(tab->getTable(), row);
    QTest::mouseDClick(tab->getTable()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       tab->getTable()->visualRect(tab->getTable()->model()->index(row, 0)).center());
}

void TestGuiPlayback::playReusesPlayerOfSameKind()
{
    playRow(1, QStringLiteral("Bravo News"));
    auto *first = dynamic_cast<MediaPlayerWMP *>(m_gui->playback()->player());
    QVERIFY(first);
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::WMP);
    QCOMPARE(m_gui->playback()->currentStream()->getName(), QStringLiteral("Bravo News"));
    // Right after the choice, then once the player has taken the address.
    QCOMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing: Bravo News"));
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
    QVERIFY(probe(m_gui).actionStop()->isEnabled() && probe(m_gui).actionStopMenu()->isEnabled());
    QVERIFY(probe(m_gui).actionFullscreen()->isEnabled() && probe(m_gui).actionFullscreenMenu()->isEnabled());
    QVERIFY(probe(m_gui).actionPause()->isEnabled() && probe(m_gui).actionPauseMenu()->isEnabled());

    // A second stream of the same kind: the same player, a new address.
    playRow(2, QStringLiteral("Radio One"));
    QCOMPARE(m_gui->playback()->player(), first);
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Radio One"));
}

void TestGuiPlayback::formatWithoutPlayer()
{
    playRow(1, QStringLiteral("Bravo News"));
    MediaPlayer *before = m_gui->playback()->player();
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
    for (const QString &format : {QStringLiteral("wmp"), QString()}) {
        m_gui->playback()->setCurrentStream(madeStream(format));
        probe(m_gui).actionMediaplayerInvoke()->run();
        QCOMPARE(m_gui->playback()->player(), before);
        QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::WMP);
        QVERIFY(waitForPostedTasks());
        QCOMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
    }
    QCOMPARE(PlaybackControl::playerKind(QStringLiteral("WMP")), PlaybackControl::WMP);
    QCOMPARE(PlaybackControl::playerKind(QStringLiteral("Icecast")), PlaybackControl::WMP);
    QCOMPARE(PlaybackControl::playerKind(QStringLiteral("RM")), PlaybackControl::RP);
    QCOMPARE(PlaybackControl::playerKind(QStringLiteral("QT")), PlaybackControl::QT);
    QCOMPARE(PlaybackControl::playerKind(QStringLiteral("wmp")), PlaybackControl::NONE);
}

void TestGuiPlayback::formatWithoutPlayerBeforeAnyKind_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("lower case") << "wmp";
    QTest::newRow("empty") << "";
    QTest::newRow("unknown") << "Flash";
}

void TestGuiPlayback::formatWithoutPlayerBeforeAnyKind()
{
    // Before any kind was chosen, only a stop runs: a fresh idle picture,
    // no kind, no status text.
    QFETCH(QString, format);
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::NONE);
    MediaPlayer *idle = m_gui->playback()->player();
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(idle));
    const QString status = probe(m_gui).statusLine()->text();
    const int stops = probe(m_gui).actionStop()->runCount();
    m_gui->playback()->setCurrentStream(madeStream(format));
    probe(m_gui).actionMediaplayerInvoke()->run();
    QCOMPARE(probe(m_gui).actionStop()->runCount(), stops + 1);
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::NONE);
    QVERIFY(waitForPostedTasks());
    QCOMPARE(probe(m_gui).statusLine()->text(), status);
    QVERIFY(!probe(m_gui).actionStop()->isEnabled());
    QVERIFY(!probe(m_gui).actionFullscreen()->isEnabled());
}

void TestGuiPlayback::stopThenSameKindMakesNewPlayer()
{
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->playback()->player()));
    // The player tab's stop button.
    QTest::mouseClick(probe(m_gui).stopButton(), Qt::LeftButton);
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::WMP);
    QVERIFY(probe(m_gui).actionPlay()->isEnabled());
    for (GuiAction *a : {probe(m_gui).actionStop(), probe(m_gui).actionStopMenu(), probe(m_gui).actionPause(), probe(m_gui).actionPauseMenu(),
                         probe(m_gui).actionFullscreen(), probe(m_gui).actionFullscreenMenu()})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->playback()->player()));
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
}

void TestGuiPlayback::emptyAddressStops()
{
    playRow(1, QStringLiteral("Bravo News"));
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
    playRow(1, QStringLiteral("Delta Silent"));
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QCOMPARE(m_gui->playback()->currentStream()->getName(), QStringLiteral("Delta Silent"));
    QVERIFY(waitForPostedTasks());
    QCOMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Bravo News"));
}

void TestGuiPlayback::pauseAndFullscreen()
{
    playRow(1, QStringLiteral("Bravo News"));
    QVERIFY(probe(m_gui).actionPauseMenu()->isEnabled());
    MpvEngine *engine = shownEngine(m_gui.get());
    QVERIFY(engine);
    QCOMPARE(engine->state(), MpvEngine::State::Loading);
    // Space pauses, the page's player too.
    probe(m_gui).actionPauseMenu()->trigger();
    QVERIFY(!probe(m_gui).actionPause()->isEnabled());
    QVERIFY(!probe(m_gui).actionPauseMenu()->isEnabled());
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    // Full screen on, then off, as the player reports it.
    QVERIFY(!m_gui->playback()->player()->isFullscreen());
    QTest::mouseClick(probe(m_gui).fullscreenButton(), Qt::LeftButton);
    QVERIFY(m_gui->playback()->player()->isFullscreen());
    probe(m_gui).actionFullscreenMenu()->trigger();
    QVERIFY(!m_gui->playback()->player()->isFullscreen());
    probe(m_gui).actionStop()->run();
}

void TestGuiPlayback::realPlayerAndQuickTime_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<bool>("repeated");
    QTest::newRow("RealPlayer after Windows Media Player") << "RM" << int(PlaybackControl::RP) << true << false;
    QTest::newRow("QuickTime: the address once more") << "QT" << int(PlaybackControl::QT) << false << true;
}

void TestGuiPlayback::realPlayerAndQuickTime()
{
    QFETCH(QString, format);
    QFETCH(int, kind);
    QFETCH(bool, fullscreen);
    QFETCH(bool, repeated);
    playRow(1, QStringLiteral("Bravo News"));
    MediaPlayer *wmp = m_gui->playback()->player();
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(wmp));
    m_gui->playback()->setCurrentStream(madeStream(format, m_service->mediaUrl(QStringLiteral("held.mp4"))));
    const QString expectedStatus = QStringLiteral("Playing ") + m_gui->playback()->currentStream()->getName();
    probe(m_gui).actionMediaplayerInvoke()->run();
    MediaPlayer *player = m_gui->playback()->player();
    QVERIFY(player && player != wmp);
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(player));
    QCOMPARE(m_gui->playback()->currentPlayer(), kind);
    QCOMPARE(probe(m_gui).actionFullscreen()->isEnabled(), fullscreen);
    QCOMPARE(probe(m_gui).actionFullscreenMenu()->isEnabled(), fullscreen);
    QVERIFY(probe(m_gui).actionStop()->isEnabled());
    QCOMPARE(m_gui->playback()->qtHack(), true);
    QVERIFY(waitForPostedTasks());
    // The QuickTime repeat reuses the player and clears the switch.
    QCOMPARE(m_gui->playback()->qtHack(), !repeated);
    QCOMPARE(m_gui->playback()->player(), player);
    QCOMPARE(probe(m_gui).statusLine()->text(), expectedStatus);
    // A further stream of that kind without a stop gets no repeat.
    probe(m_gui).actionMediaplayerInvoke()->run();
    QVERIFY(waitForPostedTasks());
    QCOMPARE(m_gui->playback()->player(), player);
    QCOMPARE(m_gui->playback()->qtHack(), !repeated);
}

void TestGuiPlayback::quickTimeGetsTheAddressTwice()
{
    int setUrlCalls = 0;
    OleControlRegistry::registerControl(QStringLiteral("QuickTime.QuickTime"), [&setUrlCalls](QWidget *site) {
        return std::make_unique<CountingQuickTime>(site, &setUrlCalls);
    });
    m_gui->playback()->setCurrentStream(
        madeStream(QStringLiteral("QT"), m_service->mediaUrl(QStringLiteral("held.mp4"))));
    probe(m_gui).actionMediaplayerInvoke()->run();
    auto *player = dynamic_cast<MediaPlayerQT *>(m_gui->playback()->player());
    QVERIFY(player);
    // Once in the choice, once more after the pending events.
    QCOMPARE(setUrlCalls, 1);
    QTRY_COMPARE(setUrlCalls, 2);
    QCOMPARE(m_gui->playback()->qtHack(), false);
    QCOMPARE(m_gui->playback()->player(), player);
    // A further QuickTime stream without a stop: once.
    m_gui->playback()->setCurrentStream(
        madeStream(QStringLiteral("QT"), m_service->mediaUrl(QStringLiteral("held.mp4?2"))));
    probe(m_gui).actionMediaplayerInvoke()->run();
    QVERIFY(waitForPostedTasks());
    QCOMPARE(setUrlCalls, 3);
    // After a stop, the new player gets its repeat again.
    probe(m_gui).actionStop()->run();
    QCOMPARE(m_gui->playback()->qtHack(), true);
    probe(m_gui).actionMediaplayerInvoke()->run();
    QTRY_COMPARE(setUrlCalls, 5);
    QVERIFY(waitForPostedTasks());
    QCOMPARE(setUrlCalls, 5);
}

void TestGuiPlayback::playerThatCannotBeMade_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind");
    QTest::newRow("RealPlayer") << "RM" << int(PlaybackControl::RP);
    QTest::newRow("QuickTime") << "QT" << int(PlaybackControl::QT);
}

void TestGuiPlayback::playerThatCannotBeMade()
{
    QFETCH(QString, format);
    QFETCH(int, kind);
    qputenv("QUORVANTEL_MPV_DISABLE", "1");
    QPointer<QWidget> error;
    QWidget *parent = nullptr;
    ModalAnswers answers;
    answers.recordAndClose(&error, &parent);
    m_gui->playback()->setCurrentStream(madeStream(format));
    probe(m_gui).actionMediaplayerInvoke()->run();
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, m_gui.get());
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QCOMPARE(m_gui->playback()->currentPlayer(), kind);
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Could not change stream, try again."));
    // Only the idle picture is there: nothing to stop or to show full
    // screen.
    for (GuiAction *a : {probe(m_gui).actionStop(), probe(m_gui).actionStopMenu(), probe(m_gui).actionFullscreen(), probe(m_gui).actionFullscreenMenu()})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(probe(m_gui).actionPlay()->isEnabled());
    // No repeat of the failed creation follows.
    QVERIFY(waitForPostedTasks());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(m_gui->playback()->currentPlayer(), kind);
    // Once the engine can start, the same kind makes its player.
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    probe(m_gui).actionMediaplayerInvoke()->run();
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QVERIFY(probe(m_gui).actionStop()->isEnabled());
    QCOMPARE(probe(m_gui).actionFullscreen()->isEnabled(), kind == PlaybackControl::RP);
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
    BottomList *ppv = m_gui->streamTabs()->bottomTab(9);
    QVERIFY(ppv);
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(ppv));

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
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    // The confirmed order reloads: the movie is now rented.
    QVERIFY(waitForLoads(loads, 2));
    QVERIFY(probe(m_gui).ppvTab());
    QCOMPARE(probe(m_gui).ppvTableViewer()->rowCount(), 1);
}

void TestGuiPlayback::payPerViewWithTimePlays()
{
    // A rented movie with time left plays like any other stream.
    m_service->setPpvMovies({[] {
        RefService::PpvMovie m;
        m.id = 802;
        m.name = QStringLiteral("Rented Movie");
        m.category = QStringLiteral("Drama");
        m.length = 3000;
        // Its play address leads to the media that answer late.
        m.mediaFile = QStringLiteral("held.mp4");
        return m;
    }()});
    m_service->clearRentals();
    m_service->setGlobalRental(802, 7200);
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    BottomList *ppv = m_gui->streamTabs()->bottomTab(9);
    QVERIFY(ppv);
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(ppv));
    ModalAnswers answers;
    playRow(9, QStringLiteral("Rented Movie"));
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->playback()->player()));
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::WMP);
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Playing Rented Movie"));
    QVERIFY(waitForPostedTasks());
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiPlayback::streamThatFailsSaysSo_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not found") << "WMP" << "/media/missing.mp4" << "loading failed";
    QTest::newRow("not media") << "Icecast" << "/cacheversion.txt" << "";
    QTest::newRow("refused scheme") << "WMP" << "file:///etc/passwd" << "unsupported address scheme";
    QTest::newRow("RealPlayer, not found") << "RM" << "/media/missing.mp4" << "loading failed";
    QTest::newRow("QuickTime, not found") << "QT" << "/media/missing.mp4" << "loading failed";
}

void TestGuiPlayback::streamThatFailsSaysSo()
{
    // The status line ends with what went wrong, not with "Playing".
    QFETCH(QString, format);
    QFETCH(QString, address);
    QFETCH(QString, reason);
    const QString url = address.startsWith(u'/') ? m_service->baseUrl() + address : address;
    m_gui->playback()->setCurrentStream(madeStream(format, url));
    probe(m_gui).actionMediaplayerInvoke()->run();
    QVERIFY(!dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QTRY_VERIFY_WITH_TIMEOUT(probe(m_gui).statusLine()->text().startsWith(QLatin1String("Could not play the stream")), 15000);
    QVERIFY2(probe(m_gui).statusLine()->text().contains(reason), qPrintable(probe(m_gui).statusLine()->text()));
    // The failure stays the last word.
    QVERIFY(waitForPostedTasks());
    QVERIFY(probe(m_gui).statusLine()->text().startsWith(QLatin1String("Could not play the stream")));
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
