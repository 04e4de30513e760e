// The playback control driven on its own: a window object whose contents
// were never made (its actions only) and a player area of the test's own.
#include "window/PlaybackControl.h"

#include "tests/window/GuiTestSupport.h"
#include "window/GuiAction.h"
#include "window/players/MediaPlayerStaticImage.h"

#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>
#include <array>
#include <utility>

namespace {

using Setter = void (PlaybackControl::*)(bool);

// The player area as the window makes it: a black widget with a layout
// without margins.
std::unique_ptr<QWidget> playerArea()
{
    auto area = std::make_unique<QWidget>();
    auto *fill = new QVBoxLayout(area.get());
    fill->setContentsMargins(0, 0, 0, 0);
    fill->setSpacing(0);
    area->resize(320, 240);
    return area;
}

// The enabled states of the playback actions, in a fixed order.
QList<bool> playbackStates(Gui &gui)
{
    QList<bool> states;
    for (const GuiAction *action : {probe(gui).actionPlay(), probe(gui).actionPlayMenu(), probe(gui).actionPause(), probe(gui).actionPauseMenu(),
                                    probe(gui).actionStop(), probe(gui).actionStopMenu(), probe(gui).actionFullscreen(),
                                    probe(gui).actionFullscreenMenu()})
        states << action->isEnabled();
    return states;
}

void setAllEnabled(PlaybackControl &playback, bool enabled)
{
    playback.setPlayEnabled(enabled);
    playback.setPauseEnabled(enabled);
    playback.setStopEnabled(enabled);
    playback.setFullscreenEnabled(enabled);
}

} // namespace

class TestPlaybackControl : public QObject
{
    Q_OBJECT
private slots:
    void playerKinds_data();
    void playerKinds();
    void enableStateSetters_data();
    void enableStateSetters();
    void stopWithoutPlayerArea();
    void stopLeavesIdlePicture();
    void pause_data();
    void pause();
    void fullscreenWithoutPlayer();
    void invokeWithoutStream();
    void playWithoutCurrentTable();
    void disposeReleasesPlayer();
};

void TestPlaybackControl::playerKinds_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind");
    QTest::newRow("WMP") << QStringLiteral("WMP") << PlaybackControl::WMP;
    QTest::newRow("Icecast") << QStringLiteral("Icecast") << PlaybackControl::WMP;
    QTest::newRow("RM") << QStringLiteral("RM") << PlaybackControl::RP;
    QTest::newRow("QT") << QStringLiteral("QT") << PlaybackControl::QT;
    QTest::newRow("lower case") << QStringLiteral("qt") << PlaybackControl::NONE;
    QTest::newRow("empty") << QString() << PlaybackControl::NONE;
    QTest::newRow("unknown") << QStringLiteral("MPEG") << PlaybackControl::NONE;
}

void TestPlaybackControl::playerKinds()
{
    QFETCH(QString, format);
    QFETCH(int, kind);
    QCOMPARE(PlaybackControl::playerKind(format), kind);
}

void TestPlaybackControl::enableStateSetters_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("play") << 0;
    QTest::newRow("pause") << 1;
    QTest::newRow("stop") << 2;
    QTest::newRow("fullscreen") << 3;
}

void TestPlaybackControl::enableStateSetters()
{
    QFETCH(int, which);
    TestWorkspace workspace;
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    const std::array<Setter, 4> setters = {&PlaybackControl::setPlayEnabled, &PlaybackControl::setPauseEnabled,
                                           &PlaybackControl::setStopEnabled, &PlaybackControl::setFullscreenEnabled};
    for (bool others : {false, true}) {
        setAllEnabled(playback, others);
        for (bool enabled : {!others, others, !others}) {
            (playback.*setters[size_t(which)])(enabled);
            // The action and its menu entry go together; the other
            // playback actions keep their states.
            QList<bool> expected(8, others);
            expected[2 * which] = enabled;
            expected[2 * which + 1] = enabled;
            QCOMPARE(playbackStates(gui), expected);
        }
    }
}

void TestPlaybackControl::stopWithoutPlayerArea()
{
    TestWorkspace workspace;
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    setAllEnabled(playback, true);
    playback.runStop();
    // No place to show a player in: nothing happens.
    QVERIFY(!playback.player());
    QCOMPARE(playbackStates(gui), QList<bool>(8, true));
}

void TestPlaybackControl::stopLeavesIdlePicture()
{
    TestWorkspace workspace;
    const std::unique_ptr<QWidget> area = playerArea();
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    playback.setCompositeActivex(area.get());
    QCOMPARE(playback.compositeActivex(), area.get());
    setAllEnabled(playback, true);
    playback.setCurrentStream(std::make_shared<StreamInfo>());

    probe(gui).actionStop()->run();
    auto *idle = dynamic_cast<MediaPlayerStaticImage *>(playback.player());
    QVERIFY(idle);
    QVERIFY(idle->canvas());
    QCOMPARE(idle->canvas()->parentWidget(), area.get());
    // Play stays; nothing to pause, stop or show full screen.
    QCOMPARE(playbackStates(gui), QList<bool>({true, true, false, false, false, false, false, false}));
    QVERIFY(!playback.playingStream());
    QVERIFY(playback.qtHack());
    QCOMPARE(playback.currentPlayer(), PlaybackControl::NONE);
    // The row taken last stays: a stop does not forget it.
    QVERIFY(playback.currentStream());

    // A second stop makes a new idle picture in place of the first.
    probe(gui).actionStop()->run();
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(playback.player()));
    QCOMPARE(area->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).size(), qsizetype(1));
}

void TestPlaybackControl::pause_data()
{
    QTest::addColumn<bool>("withPlayer");
    QTest::newRow("idle picture") << true;
    QTest::newRow("no player") << false;
}

void TestPlaybackControl::pause()
{
    QFETCH(bool, withPlayer);
    TestWorkspace workspace;
    const std::unique_ptr<QWidget> area = playerArea();
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    if (withPlayer) {
        playback.setCompositeActivex(area.get());
        playback.runStop();
    }
    setAllEnabled(playback, true);
    probe(gui).actionPause()->run();
    // Pause goes, with the menu's Pause; the rest stays.
    QCOMPARE(playbackStates(gui), QList<bool>({true, true, false, false, true, true, true, true}));
    QCOMPARE(playback.player() != nullptr, withPlayer);
}

void TestPlaybackControl::fullscreenWithoutPlayer()
{
    TestWorkspace workspace;
    Gui gui;
    probe(gui).actionFullscreen()->run();
    QVERIFY(!gui.playback()->player());
}

void TestPlaybackControl::invokeWithoutStream()
{
    TestWorkspace workspace;
    const std::unique_ptr<QWidget> area = playerArea();
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    playback.setCompositeActivex(area.get());
    const int stops = probe(gui).actionStop()->runCount();
    probe(gui).actionMediaplayerInvoke()->run();
    // No row taken: no stop, no player.
    QCOMPARE(probe(gui).actionStop()->runCount(), stops);
    QVERIFY(!playback.player());
    QCOMPARE(playback.currentPlayer(), PlaybackControl::NONE);
}

void TestPlaybackControl::playWithoutCurrentTable()
{
    TestWorkspace workspace;
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    setAllEnabled(playback, false);
    const int invokes = probe(gui).actionMediaplayerInvoke()->runCount();
    probe(gui).actionPlay()->run();
    // Play runs the current table's play, which has no table to take a row
    // from: nothing changes.
    QCOMPARE(probe(gui).actionPlayFromCurrentTable()->runCount(), 1);
    QCOMPARE(probe(gui).actionMediaplayerInvoke()->runCount(), invokes);
    QCOMPARE(playbackStates(gui), QList<bool>(8, false));
    QVERIFY(!playback.currentStream());
}

void TestPlaybackControl::disposeReleasesPlayer()
{
    TestWorkspace workspace;
    const std::unique_ptr<QWidget> area = playerArea();
    Gui gui;
    PlaybackControl &playback = *gui.playback();
    playback.setCompositeActivex(area.get());
    playback.runStop();
    QVERIFY(playback.player());
    playback.disposePlayer();
    QVERIFY(!playback.player());
    // Nothing left to release: a second call does nothing.
    playback.disposePlayer();
    QVERIFY(!playback.player());
}

QTEST_MAIN(TestPlaybackControl)
#include "tst_playback_control.moc"
