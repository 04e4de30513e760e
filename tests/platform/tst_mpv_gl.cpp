// The media engine with its OpenGL picture, playing a clip served over HTTP.

#include "platform/FullScreenHost.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"
#include "tests/platform/TestMedia.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class TestMpvGl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playsAndDrawsFrames();
    void pauseHoldsAndPlayResumes();
    void stopReturnsToIdle();
    void endOfFileStops();
    void playAfterEndStartsAgain();
    void failuresAreReported_data();
    void failuresAreReported();
    void refusedAddressPlaysNothing_data();
    void refusedAddressPlaysNothing();
    void playCountRepeats();
    void hiddenWidgetGetsPictureWhenShown();
    void pictureFollowsToFullScreenAndBack();
    void disposeWhilePlaying();

private:
    // A shown window holding one engine widget.
    struct Player
    {
        std::unique_ptr<QWidget> window;
        MpvWidget *video = nullptr;
        MpvEngine *engine() const { return video->engine(); }
    };
    Player makePlayer(bool show = true);

    QTemporaryDir m_dir;
    QString m_clip;
    TestMedia::Server m_server;
    Player m_player;
};

void TestMpvGl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = TestMedia::makeClip(m_dir.path(), 2.0);
    QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    QFile text(m_dir.filePath(QStringLiteral("notes.mp4")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("this is plain text, not a media file\n").repeated(200));
    text.close();
    QVERIFY(m_server.start(m_dir.path()));
    MpvEngine::setAudioOutput(QStringLiteral("null"));
}

TestMpvGl::Player TestMpvGl::makePlayer(bool show)
{
    Player player;
    player.window = std::make_unique<QWidget>();
    player.window->resize(320, 240);
    auto *layout = new QVBoxLayout(player.window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    player.video = new MpvWidget(player.window.get(), MpvWidget::Mode::Render);
    layout->addWidget(player.video);
    if (show) {
        player.window->show();
        if (!QTest::qWaitForWindowExposed(player.window.get()))
            qWarning("window not exposed");
    }
    return player;
}

void TestMpvGl::init()
{
    m_player = makePlayer();
    QVERIFY(m_player.video->isRendering());
    QVERIFY2(m_player.video->start(), qPrintable(m_player.video->errorString()));
}

void TestMpvGl::cleanup()
{
    m_player = Player();
}

void TestMpvGl::playsAndDrawsFrames()
{
    MpvEngine *engine = m_player.engine();
    QSignalSpy loaded(engine, &MpvEngine::fileLoaded);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QCOMPARE(loaded.count(), 1);
    QVERIFY(m_player.video->hasRenderContext());
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    QCOMPARE(engine->videoSize(), QSize(320, 240));
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(m_player.video->grabFrame()), 5000);
    QVERIFY(!engine->isIdle());
    QVERIFY(engine->lastError().isEmpty());
}

void TestMpvGl::pauseHoldsAndPlayResumes()
{
    MpvEngine *engine = m_player.engine();
    engine->setPlayCount(5);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.2, 10000);
    engine->pause();
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isPaused(), 5000);
    // The last frame's time may still come in after the pause.
    QTest::qWait(300);
    const double held = engine->timePos();
    QTest::qWait(400);
    QCOMPARE(engine->timePos(), held);
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    engine->play();
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    QTRY_VERIFY_WITH_TIMEOUT(!engine->isPaused(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > held + 0.1 || engine->timePos() < held, 10000);
}

void TestMpvGl::stopReturnsToIdle()
{
    MpvEngine *engine = m_player.engine();
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!engine->isIdle(), 5000);
    QSignalSpy ended(engine, &MpvEngine::endFile);
    engine->stop();
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isIdle(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(engine->timePos(), -1.0, 5000);
    // The stop's own end of file is not taken for the end of the stream.
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QVERIFY(engine->lastError().isEmpty());
    QVERIFY(!TestMedia::hasPicture(m_player.video->grabFrame()));
    QVERIFY(ended.isEmpty() || ended.first().at(0).value<MpvEngine::EndReason>() != MpvEngine::EndReason::Error);
}

void TestMpvGl::endOfFileStops()
{
    MpvEngine *engine = m_player.engine();
    engine->setEngineProperty(QStringLiteral("speed"), QStringLiteral("4"));
    QSignalSpy ended(engine, &MpvEngine::endFile);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 15000);
    QCOMPARE(ended.first().at(0).value<MpvEngine::EndReason>(), MpvEngine::EndReason::Eof);
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isIdle(), 5000);
    QVERIFY(engine->lastError().isEmpty());
}

void TestMpvGl::playAfterEndStartsAgain()
{
    MpvEngine *engine = m_player.engine();
    engine->setEngineProperty(QStringLiteral("speed"), QStringLiteral("4"));
    QSignalSpy ended(engine, &MpvEngine::endFile);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 15000);
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    engine->play();
    QCOMPARE(engine->state(), MpvEngine::State::Loading);
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
}

void TestMpvGl::failuresAreReported_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not found") << QStringLiteral("/nothing/here.mp4") << QStringLiteral("loading failed");
    QTest::newRow("not media") << QStringLiteral("/media/notes.mp4") << QString();
    QTest::newRow("unreachable") << QStringLiteral("http://127.0.0.1:1/stream") << QStringLiteral("loading failed");
}

void TestMpvGl::failuresAreReported()
{
    QFETCH(QString, address);
    QFETCH(QString, reason);
    const QString url = address.startsWith(u'/') ? m_server.url(address) : address;
    MpvEngine *engine = m_player.engine();
    QSignalSpy failed(engine, &MpvEngine::playbackFailed);
    QSignalSpy ended(engine, &MpvEngine::endFile);
    QVERIFY(engine->load(url));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 15000);
    const QString message = failed.first().at(0).toString();
    QVERIFY2(message.startsWith(QLatin1String("Could not play the stream: ")), qPrintable(message));
    if (!reason.isEmpty())
        QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QCOMPARE(engine->lastError(), message);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().at(0).value<MpvEngine::EndReason>(), MpvEngine::EndReason::Error);
    // The text stands on the black area until something new plays.
    QCOMPARE(m_player.video->message(), message);
    QVERIFY(TestMedia::hasPicture(m_player.video->grabFrame()));
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QVERIFY(m_player.video->message().isEmpty());
}

void TestMpvGl::refusedAddressPlaysNothing_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("local path") << QStringLiteral("/etc/passwd");
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/clip.mp4");
    QTest::newRow("engine protocol") << QStringLiteral("av://lavfi:testsrc");
    QTest::newRow("nested") << QStringLiteral("lavf://http://127.0.0.1/clip.mp4");
    QTest::newRow("empty") << QString();
}

void TestMpvGl::refusedAddressPlaysNothing()
{
    QFETCH(QString, address);
    MpvEngine *engine = m_player.engine();
    QSignalSpy failed(engine, &MpvEngine::playbackFailed);
    QSignalSpy loaded(engine, &MpvEngine::fileLoaded);
    QVERIFY(!engine->load(address));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QVERIFY(!engine->lastError().isEmpty());
    QCOMPARE(m_player.video->message(), engine->lastError());
    engine->play();
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QTest::qWait(200);
    QCOMPARE(loaded.count(), 0);
    // The stop reaches the core asynchronously: on a busy machine its idle
    // report may take longer than the wait above.
    QTRY_VERIFY(engine->isIdle());
    QCOMPARE(loaded.count(), 0);
}

void TestMpvGl::playCountRepeats()
{
    MpvEngine *engine = m_player.engine();
    engine->setPlayCount(2);
    engine->setEngineProperty(QStringLiteral("speed"), QStringLiteral("4"));
    QSignalSpy ended(engine, &MpvEngine::endFile);
    QList<double> times;
    connect(engine, &MpvEngine::timePosChanged, this, [&times](double t) { times.append(t); });
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 20000);
    QCOMPARE(ended.first().at(0).value<MpvEngine::EndReason>(), MpvEngine::EndReason::Eof);
    // The time ran up near the end, went back to the start and ran up again.
    int wraps = 0;
    for (int i = 1; i < times.size(); ++i) {
        if (times[i - 1] > 1.2 && times[i] >= 0 && times[i] < 0.6)
            ++wraps;
    }
    if (wraps != 1)
        qWarning() << "times" << times;
    QCOMPARE(wraps, 1);
}

void TestMpvGl::hiddenWidgetGetsPictureWhenShown()
{
    Player hidden = makePlayer(false);
    QVERIFY(hidden.video->start());
    MpvEngine *engine = hidden.engine();
    engine->setPlayCount(10);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    // Without a renderer it plays on without a picture...
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.2, 10000);
    QVERIFY(!hidden.video->hasRenderContext());
    // ...and the picture comes with the renderer.
    hidden.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(hidden.window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(hidden.video->hasRenderContext(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(hidden.video->grabFrame()), 10000);
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
}

void TestMpvGl::pictureFollowsToFullScreenAndBack()
{
    MpvEngine *engine = m_player.engine();
    engine->setPlayCount(20);
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(m_player.video->grabFrame()), 10000);

    FullScreenHost host(m_player.video);
    QSignalSpy changed(&host, &FullScreenHost::fullScreenChanged);
    host.enter();
    QVERIFY(host.isFullScreen());
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_player.video->window() == host.window());
    QVERIFY(host.window()->isFullScreen());
    QVERIFY(QTest::qWaitForWindowExposed(host.window()));
    QTRY_VERIFY_WITH_TIMEOUT(m_player.video->width() > 320, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(m_player.video->hasRenderContext(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(m_player.video->grabFrame()), 10000);
    QCOMPARE(engine->state(), MpvEngine::State::Playing);

    // Escape leaves full screen.
    QTest::keyClick(host.window(), Qt::Key_Escape);
    QVERIFY(!host.isFullScreen());
    QCOMPARE(changed.count(), 2);
    QVERIFY(m_player.video->window() == m_player.window.get());
    QCOMPARE(m_player.window->layout()->indexOf(m_player.video), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_player.video->hasRenderContext(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(m_player.video->grabFrame()), 10000);
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
}

void TestMpvGl::disposeWhilePlaying()
{
    MpvEngine *engine = m_player.engine();
    QVERIFY(engine->load(m_server.url(QStringLiteral("/media/") + m_clip)));
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    {
        FullScreenHost host(m_player.video);
        host.enter();
        QVERIFY(host.isFullScreen());
    }
    // The host went: the picture is home again.
    QVERIFY(m_player.video->window() == m_player.window.get());
    delete m_player.video;
    m_player.video = nullptr;
    MpvEngine::waitForShutdowns();
    m_player.window.reset();
}

QTEST_MAIN(TestMpvGl)
#include "tst_mpv_gl.moc"
