// The four players in a player area, with the real controls and engine on
// the X display, playing a clip served over HTTP on 127.0.0.1.

#include "tests/platform/TestMedia.h"

#include "catalogue/LangMsg.h"
#include "catalogue/TulException.h"
#include "platform/EmbeddedBrowser.h"
#include "platform/MediaControls.h"
#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"
#include "platform/OleFrame.h"
#include "window/players/MediaPlayerQT.h"
#include "window/players/MediaPlayerRP.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"
#include "window/players/PlayerArea.h"

#include <QOpenGLWidget>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString kRealPlayer = QStringLiteral("rmocx.RealPlayer G2 Control.1");
const QString kQuickTime = QStringLiteral("QuickTime.QuickTime");

// The automation traffic of a real control, as "name" for a lookup,
// "set:id", "get:id", "invoke:id(args)" and "verb:n".
QStringList &traffic()
{
    static QStringList calls;
    return calls;
}

template<typename Control>
class Recording : public Control
{
public:
    explicit Recording(QWidget *site) : Control(site) {}
    int doVerb(int verb) override
    {
        traffic().append(QStringLiteral("verb:%1").arg(verb));
        return Control::doVerb(verb);
    }
    std::optional<int> dispatchId(const QString &name) const override
    {
        traffic().append(name);
        return Control::dispatchId(name);
    }
    std::optional<Variant> invoke(int id, const QList<Variant> &arguments) override
    {
        QStringList args;
        for (const Variant &argument : arguments)
            args.append(argument.toDebugString());
        traffic().append(QStringLiteral("invoke(%1)").arg(args.join(u',')));
        return Control::invoke(id, arguments);
    }
    bool setProperty(int id, const Variant &value) override
    {
        traffic().append(QStringLiteral("set(%1)").arg(value.toDebugString()));
        return Control::setProperty(id, value);
    }
    std::optional<Variant> getProperty(int id) override
    {
        traffic().append(QStringLiteral("get"));
        return Control::getProperty(id);
    }
};

// A real RealPlayer control that will not show itself.
class Refusing : public RealPlayerControl
{
public:
    using RealPlayerControl::RealPlayerControl;
    int doVerb(int) override { return Ole::E_FAIL; }
};

MpvEngine *engineIn(QWidget *area)
{
    auto *video = area->findChild<MpvWidget *>();
    return video ? video->engine() : nullptr;
}

QList<QWidget *> widgetsIn(QWidget *area)
{
    return area->findChildren<QWidget *>();
}

} // namespace

class TestPlayersGl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void staticImageStates();
    void staticImageOrigin_data();
    void staticImageOrigin();
    void staticImagePaintsCentred();

    void wmpPageLines();
    void wmpPageEscapesTheAddress_data();
    void wmpPageEscapesTheAddress();
    void wmpStates();
    void wmpPlaysAndReplacesItsPlayer();
    void wmpFullScreen();
    void wmpFailuresReachTheStatus_data();
    void wmpFailuresReachTheStatus();

    void rpCreationCalls();
    void rpStates();
    void rpFullScreen();
    void rpCreationFails_data();
    void rpCreationFails();

    void qtStates();
    void qtPauseSendsStop();
    void qtCreationFails_data();
    void qtCreationFails();

    void failureOfOtherKindsReachesTheStatus_data();
    void failureOfOtherKindsReachesTheStatus();
    void immediateFailureComesAfterTheCallersPost();
    void disposeTwice();

private:
    QString clipUrl() const { return m_server.url(QStringLiteral("/media/") + m_clip); }

    QTemporaryDir m_dir;
    QString m_clip;
    TestMedia::Server m_server;
    std::unique_ptr<QWidget> m_window;
    QWidget *m_area = nullptr;
};

void TestPlayersGl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = TestMedia::makeClip(m_dir.path(), 2.0);
    QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    QVERIFY(m_server.start(m_dir.path()));
    MpvEngine::setAudioOutput(QStringLiteral("null"));
}

void TestPlayersGl::init()
{
    OleControlRegistry::restoreDefaults();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    traffic().clear();
    // The window's player area: a panel with a fill layout.
    m_window = std::make_unique<QWidget>();
    auto *outer = new QVBoxLayout(m_window.get());
    outer->setContentsMargins(0, 0, 0, 0);
    m_area = new QWidget(m_window.get());
    auto *fill = new QVBoxLayout(m_area);
    fill->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_area);
    m_window->resize(480, 360);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestPlayersGl::cleanup()
{
    m_window.reset();
    m_area = nullptr;
    OleControlRegistry::restoreDefaults();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
}

// Idle picture

void TestPlayersGl::staticImageStates()
{
    MediaPlayerStaticImage player(m_area);
    QVERIFY(player.canvas());
    QCOMPARE(m_area->layout()->indexOf(player.canvas()), 0);
    QCOMPARE(player.picture().size(), QSize(200, 200));
    auto check = [&player] {
        QCOMPARE(player.isStopped(), true);
        QCOMPARE(player.isPaused(), false);
        QCOMPARE(player.isFullscreen(), false);
        QCOMPARE(player.isActivexControl(), false);
    };
    check();
    player.stop();
    check();
    player.play();
    check();
    player.pause();
    check();
    player.fullscreen(true);
    check();
    QCOMPARE(player.changeUrl(clipUrl()), false);
    check();
    QVERIFY(!m_area->findChild<MpvWidget *>());
    player.dispose();
    QVERIFY(!player.canvas());
    QVERIFY(widgetsIn(m_area).isEmpty());
}

void TestPlayersGl::staticImageOrigin_data()
{
    QTest::addColumn<QSize>("canvas");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QPoint>("origin");
    QTest::newRow("even") << QSize(400, 300) << QSize(200, 200) << QPoint(100, 50);
    QTest::newRow("odd canvas") << QSize(401, 301) << QSize(200, 200) << QPoint(100, 50);
    // Each half on its own: (301 - 201) / 2 would be 50, 150 - 100 is 50;
    // (300 - 201) / 2 would be 49, 150 - 100 is 50.
    QTest::newRow("odd picture") << QSize(300, 300) << QSize(201, 201) << QPoint(50, 50);
    QTest::newRow("both odd") << QSize(301, 203) << QSize(201, 201) << QPoint(50, 1);
    QTest::newRow("exact") << QSize(200, 200) << QSize(200, 200) << QPoint(0, 0);
    QTest::newRow("smaller canvas") << QSize(101, 51) << QSize(200, 200) << QPoint(-50, -75);
    QTest::newRow("empty canvas") << QSize(0, 0) << QSize(200, 200) << QPoint(-100, -100);
}

void TestPlayersGl::staticImageOrigin()
{
    QFETCH(QSize, canvas);
    QFETCH(QSize, image);
    QFETCH(QPoint, origin);
    QCOMPARE(MediaPlayerStaticImage::imageOrigin(canvas, image), origin);
}

void TestPlayersGl::staticImagePaintsCentred()
{
    m_window->resize(301, 261);
    MediaPlayerStaticImage player(m_area);
    PlayerArea::layOut(m_area);
    QTRY_COMPARE(player.canvas()->size(), QSize(301, 261));
    const QImage shot = player.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = player.picture().convertToFormat(QImage::Format_RGB32);
    const QPoint origin(150 - 100, 130 - 100);
    for (const QPoint &p : {QPoint(100, 100), QPoint(60, 120), QPoint(100, 30), QPoint(150, 20)})
        QCOMPARE(shot.pixel(origin + p), picture.pixel(p));
    QCOMPARE(shot.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(300, 260), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() - 1, origin.y() + 100), qRgb(0, 0, 0));
}

// Windows Media Player kind

void TestPlayersGl::wmpPageLines()
{
    const QString text = MediaPlayerWMP::playerPage(QStringLiteral("http://radio.example/live"));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 46);
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("[^\\r]\\n"))));
    QVERIFY(text.endsWith(QLatin1String("</html>")));
    QCOMPARE(text.count(QStringLiteral("\r\n")), 45);
    const QString eight(8, u' ');
    const QStringList expected = {
        "<html>", "", "<head>", "", "<script>", "", "window.onresize=resizeWMP;",
        "document.onmousedown=new Function(\"return false\");", "window.onmousedown=new Function(\"return false\");",
        "document.oncontextmenu=new Function(\"return false\");", "", "function resizeWMP() {", "",
        "        Player.width = document.body.offsetWidth - 25;", "        Player.height = document.body.offsetHeight - 25;",
        "        ", "        return false;", "}", "", "</script>", "", "<style>", "body {",
        "        background-color: black;", "        overflow: hidden;", "}", "</style>", "", "</head>", "",
        "<body onload=\"resizeWMP();\">", "", "<object id=\"Player\"",
        "  classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">", "  <param name=\"autoStart\" value=\"True\">",
        "  <param name=\"uiMode\" value=\"mini\">", "  <param name=\"stretchToFit\" value=\"True\">",
        "  <param name=\"PlayCount\" value=\"9999\">", "", "  <param name=\"url\"",
        "value=\"http://radio.example/live\">", "</object>", "", "</body>", "", "</html>"};
    for (int i = 0; i < 46; ++i)
        QCOMPARE(lines.at(i), expected.at(i));
    QCOMPARE(lines.at(15), eight);

    // The page as the browser reads it.
    const MediaPage page = parseMediaPage(text);
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.id, QStringLiteral("Player"));
    QCOMPARE(page.player.url(), QStringLiteral("http://radio.example/live"));
    QCOMPARE(page.player.autoStart(), true);
    QCOMPARE(page.player.uiMode(), QStringLiteral("mini"));
    QCOMPARE(page.player.stretchToFit(), true);
    QCOMPARE(page.player.playCount(), 9999);
    QCOMPARE(page.shrinkWidth, 25);
    QCOMPARE(page.shrinkHeight, 25);
}

void TestPlayersGl::wmpPageEscapesTheAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("line41");
    QTest::newRow("plain") << QStringLiteral("mms://wm.example/tv") << QStringLiteral("value=\"mms://wm.example/tv\">");
    QTest::newRow("ampersand") << QStringLiteral("http://h/s?a=1&b=2") << QStringLiteral("value=\"http://h/s?a=1&amp;b=2\">");
    QTest::newRow("script") << QStringLiteral("http://h/\"><script>alert(1)</script>")
                            << QStringLiteral("value=\"http://h/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\">");
    QTest::newRow("second param") << QStringLiteral("x\"><param name=\"url\" value=\"file:///etc/passwd")
                                  << QStringLiteral("value=\"x&quot;&gt;&lt;param name=&quot;url&quot; value=&quot;file:///etc/passwd\">");
    QTest::newRow("quote") << QStringLiteral("http://h/'a'") << QStringLiteral("value=\"http://h/&#39;a&#39;\">");
    QTest::newRow("empty") << QString() << QStringLiteral("value=\"\">");
}

void TestPlayersGl::wmpPageEscapesTheAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, line41);
    const QString text = MediaPlayerWMP::playerPage(url);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 46);
    QCOMPARE(lines.at(40), line41);
    QCOMPARE(text.count(QLatin1String("<script>")), 1);
    QCOMPARE(text.count(QLatin1String("<param")), 5);
    const MediaPage page = parseMediaPage(text);
    QCOMPARE(page.player.params.size(), 5);
    QCOMPARE(page.player.url(), url);
}

void TestPlayersGl::wmpStates()
{
    MediaPlayerWMP player(m_area);
    QCOMPARE(m_area->layout()->indexOf(player.getComposite()), 0);
    QVERIFY(player.getBrowser()->parentWidget() == player.getComposite());
    // No page until the first address.
    QVERIFY(player.getBrowser()->text().isEmpty());
    auto check = [&player] {
        QCOMPARE(player.isStopped(), false);
        QCOMPARE(player.isPaused(), false);
        QCOMPARE(player.isFullscreen(), false);
        QCOMPARE(player.isActivexControl(), true);
    };
    check();
    QCOMPARE(player.changeUrl(clipUrl()), true);
    QCOMPARE(player.getBrowser()->text(), MediaPlayerWMP::playerPage(clipUrl()));
    check();
    MpvEngine *engine = engineIn(m_area);
    QVERIFY(engine);
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    // Pause and play act on the page's player (the panel keeps no state of
    // its own); stop leaves it alone.
    player.pause();
    check();
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    player.stop();
    check();
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    player.play();
    check();
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
}

void TestPlayersGl::wmpPlaysAndReplacesItsPlayer()
{
    MediaPlayerWMP player(m_area);
    QVERIFY(player.changeUrl(clipUrl()));
    QPointer<MpvWidget> first = m_area->findChild<MpvWidget *>();
    QVERIFY(first);
    QTRY_VERIFY_WITH_TIMEOUT(first->engine()->timePos() > 0.3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(first->grabFrame()), 10000);
    // The page's script sizes the player to the page less 25 pixels.
    const QSize pageSize = player.getBrowser()->size();
    QCOMPARE(player.getBrowser()->playerArea()->size(), pageSize - QSize(25, 25));
    QVERIFY(player.getBrowser()->playerControls());

    QVERIFY(player.changeUrl(clipUrl() + QStringLiteral("?second")));
    QVERIFY(first.isNull());
    MpvWidget *second = m_area->findChild<MpvWidget *>();
    QVERIFY(second);
    QCOMPARE(second->engine()->address(), clipUrl() + QStringLiteral("?second"));
    QTRY_COMPARE_WITH_TIMEOUT(second->engine()->state(), MpvEngine::State::Playing, 10000);
    QCOMPARE(m_area->findChildren<MpvWidget *>().size(), 1);
}

void TestPlayersGl::wmpFullScreen()
{
    MediaPlayerWMP player(m_area);
    QVERIFY(player.changeUrl(clipUrl()));
    MpvWidget *video = m_area->findChild<MpvWidget *>();
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    QCOMPARE(player.isFullscreen(), false);
    player.fullscreen(true);
    QCOMPARE(player.isFullscreen(), true);
    QVERIFY(video->window() != m_window.get());
    QVERIFY(video->window()->isFullScreen());
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    player.fullscreen(false);
    QCOMPARE(player.isFullscreen(), false);
    QVERIFY(video->window() == m_window.get());
    // Disposed while full screen: nothing stays on the screen.
    player.fullscreen(true);
    QPointer<QWidget> fullWindow = video->window();
    player.dispose();
    QVERIFY(widgetsIn(m_area).isEmpty());
    QTRY_VERIFY(fullWindow.isNull());
}

void TestPlayersGl::wmpFailuresReachTheStatus_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not found") << QStringLiteral("/media/missing.mp4") << QStringLiteral("loading failed");
    QTest::newRow("refused scheme") << QStringLiteral("file:///etc/passwd") << QStringLiteral("unsupported address scheme");
}

void TestPlayersGl::wmpFailuresReachTheStatus()
{
    QFETCH(QString, url);
    QFETCH(QString, reason);
    QSignalSpy failed(MediaPlayerStatus::of(m_area), &MediaPlayerStatus::playbackFailed);
    QCOMPARE(MediaPlayerStatus::of(m_area), MediaPlayerStatus::of(m_area));
    MediaPlayerWMP player(m_area);
    QVERIFY(player.changeUrl(url.startsWith(u'/') ? m_server.url(url) : url));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    const QString message = failed.first().at(0).toString();
    QVERIFY2(message.contains(reason), qPrintable(message));
    // And on the black area.
    QCOMPARE(m_area->findChild<MpvWidget *>()->message(), message);
}

// RealPlayer kind

void TestPlayersGl::rpCreationCalls()
{
    OleControlRegistry::registerControl(kRealPlayer, [](QWidget *site) {
        return std::make_unique<Recording<RealPlayerControl>>(site);
    });
    MediaPlayerRP player(m_area);
    QCOMPARE(traffic(), QStringList({QStringLiteral("verb:-1"), QStringLiteral("AutoStart"), QStringLiteral("set(Boolean(true))"),
                                     QStringLiteral("Controls"), QStringLiteral("set(String(\"ImageWindow\"))"),
                                     QStringLiteral("SetMaintainAspect"), QStringLiteral("invoke(Boolean(true))")}));
    QCOMPARE(m_area->layout()->indexOf(player.getOleFrame()), 0);
    QVERIFY(player.getOleControlSite()->parentWidget() == player.getOleFrame());
    auto *control = static_cast<EngineControl *>(player.getOleControlSite()->control());
    QVERIFY(control->controlBar()->isHidden());

    traffic().clear();
    QVERIFY(player.changeUrl(clipUrl()));
    player.pause();
    player.play();
    player.stop();
    player.isStopped();
    player.isFullscreen();
    player.fullscreen(true);
    player.fullscreen(false);
    QCOMPARE(traffic(), QStringList({QStringLiteral("Source"), QStringLiteral("set(String(\"%1\"))").arg(clipUrl()),
                                     QStringLiteral("DoPause"), QStringLiteral("invoke()"),
                                     QStringLiteral("DoPlay"), QStringLiteral("invoke()"),
                                     QStringLiteral("DoStop"), QStringLiteral("invoke()"),
                                     QStringLiteral("CanStop"), QStringLiteral("invoke()"),
                                     QStringLiteral("GetFullScreen"), QStringLiteral("invoke()"),
                                     QStringLiteral("SetFullScreen"), QStringLiteral("invoke()"),
                                     QStringLiteral("SetOriginalSize"), QStringLiteral("invoke()")}));
}

void TestPlayersGl::rpStates()
{
    MediaPlayerRP player(m_area);
    MpvEngine *engine = engineIn(m_area);
    QVERIFY(engine);
    QCOMPARE(player.isActivexControl(), true);
    QCOMPARE(player.isPaused(), false);
    QCOMPARE(player.isStopped(), true);
    QCOMPARE(player.isFullscreen(), false);

    QCOMPARE(player.changeUrl(clipUrl()), true);
    QCOMPARE(player.isPaused(), false);
    QCOMPARE(player.isStopped(), false);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(m_area->findChild<MpvWidget *>()->grabFrame()), 10000);

    player.pause();
    QCOMPARE(player.isPaused(), true);
    QCOMPARE(player.isStopped(), false);
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    player.play();
    QCOMPARE(player.isPaused(), false);
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    player.pause();
    QCOMPARE(player.changeUrl(clipUrl()), true);
    QCOMPARE(player.isPaused(), false);
    QCOMPARE(engine->state(), MpvEngine::State::Loading);
    player.pause();
    player.stop();
    QCOMPARE(player.isPaused(), false);
    QCOMPARE(player.isStopped(), true);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isIdle(), 5000);
    player.play();
    QCOMPARE(player.isStopped(), false);
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
}

void TestPlayersGl::rpFullScreen()
{
    MediaPlayerRP player(m_area);
    QVERIFY(player.changeUrl(clipUrl()));
    MpvWidget *video = m_area->findChild<MpvWidget *>();
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    player.fullscreen(true);
    QCOMPARE(player.isFullscreen(), true);
    QVERIFY(video->window()->isFullScreen());
    QVERIFY(video->window() != m_window.get());
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    // Escape in the full-screen window brings it back too.
    QTest::keyClick(video->window(), Qt::Key_Escape);
    QCOMPARE(player.isFullscreen(), false);
    QVERIFY(video->window() == m_window.get());
    player.fullscreen(true);
    player.fullscreen(false);
    QCOMPARE(player.isFullscreen(), false);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
}

void TestPlayersGl::rpCreationFails_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("not registered") << 0;
    QTest::newRow("engine cannot start") << 1;
    QTest::newRow("control lacks a name") << 2;
    QTest::newRow("control refuses the verb") << 3;
}

void TestPlayersGl::rpCreationFails()
{
    QFETCH(int, how);
    switch (how) {
    case 0: OleControlRegistry::unregisterControl(kRealPlayer); break;
    case 1: qputenv("QUORVANTEL_MPV_DISABLE", "1"); break;
    case 2: OleControlRegistry::registerControl(kRealPlayer, &QuickTimeControl::create); break;
    case 3:
        OleControlRegistry::registerControl(kRealPlayer, [](QWidget *site) { return std::make_unique<Refusing>(site); });
        break;
    }
    try {
        MediaPlayerRP player(m_area);
        QFAIL("the RealPlayer panel was made");
    } catch (const TulException &e) {
        QCOMPARE(e.getMsg(), LangMsg::getMsg(QStringLiteral("ERROR_RPINVOKE")));
        QCOMPARE(e.getTitle(), LangMsg::getMsg(QStringLiteral("Error")));
    }
    QVERIFY(widgetsIn(m_area).isEmpty());
    QCOMPARE(m_area->layout()->count(), 0);
}

// QuickTime kind

void TestPlayersGl::qtStates()
{
    MediaPlayerQT player(m_area);
    MpvEngine *engine = engineIn(m_area);
    QVERIFY(engine);
    QCOMPARE(m_area->layout()->indexOf(player.getOleFrame()), 0);
    auto flags = [&player](bool stopped, bool paused) {
        QCOMPARE(player.isStopped(), stopped);
        QCOMPARE(player.isPaused(), paused);
        QCOMPARE(player.isFullscreen(), false);
        QCOMPARE(player.isActivexControl(), true);
    };
    flags(false, false);
    QCOMPARE(player.changeUrl(clipUrl()), true);
    flags(false, false);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    player.pause();
    flags(false, true);
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    player.play();
    flags(false, true); // only pause sets it; nothing clears it
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    player.stop();
    flags(true, true);
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    QCOMPARE(player.changeUrl(clipUrl()), true);
    flags(true, true); // the flags stay
    player.play();
    flags(false, true);
    // Full screen is not offered here.
    MpvWidget *video = m_area->findChild<MpvWidget *>();
    player.fullscreen(true);
    flags(false, true);
    QVERIFY(video->window() == m_window.get());
}

void TestPlayersGl::qtPauseSendsStop()
{
    OleControlRegistry::registerControl(kQuickTime, [](QWidget *site) {
        return std::make_unique<Recording<QuickTimeControl>>(site);
    });
    MediaPlayerQT player(m_area);
    QCOMPARE(traffic(), QStringList({QStringLiteral("verb:-1")}));
    traffic().clear();
    QVERIFY(player.changeUrl(clipUrl()));
    player.pause();
    player.stop();
    player.play();
    player.isStopped();
    player.isPaused();
    player.isFullscreen();
    player.fullscreen(true);
    QCOMPARE(traffic(), QStringList({QStringLiteral("SetURL"), QStringLiteral("invoke(String(\"%1\"))").arg(clipUrl()),
                                     QStringLiteral("Stop"), QStringLiteral("invoke()"),
                                     QStringLiteral("Stop"), QStringLiteral("invoke()"),
                                     QStringLiteral("Play"), QStringLiteral("invoke()")}));
}

void TestPlayersGl::qtCreationFails_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("not registered") << 0;
    QTest::newRow("engine cannot start") << 1;
    QTest::newRow("factory throws") << 2;
}

void TestPlayersGl::qtCreationFails()
{
    QFETCH(int, how);
    switch (how) {
    case 0: OleControlRegistry::unregisterControl(kQuickTime); break;
    case 1: qputenv("QUORVANTEL_MPV_DISABLE", "1"); break;
    case 2:
        OleControlRegistry::registerControl(kQuickTime, [](QWidget *) -> std::unique_ptr<OleControl> {
            throw std::runtime_error("no QuickTime here");
        });
        break;
    }
    try {
        MediaPlayerQT player(m_area);
        QFAIL("the QuickTime panel was made");
    } catch (const TulException &e) {
        QCOMPARE(e.getMsg(), LangMsg::getMsg(QStringLiteral("ERROR_QTINVOKE")));
        QCOMPARE(e.getTitle(), LangMsg::getMsg(QStringLiteral("Error")));
    }
    QVERIFY(widgetsIn(m_area).isEmpty());
    QCOMPARE(m_area->layout()->count(), 0);
}

void TestPlayersGl::failureOfOtherKindsReachesTheStatus_data()
{
    QTest::addColumn<bool>("quickTime");
    QTest::newRow("RealPlayer") << false;
    QTest::newRow("QuickTime") << true;
}

void TestPlayersGl::failureOfOtherKindsReachesTheStatus()
{
    QFETCH(bool, quickTime);
    QSignalSpy failed(MediaPlayerStatus::of(m_area), &MediaPlayerStatus::playbackFailed);
    std::unique_ptr<MediaPlayer> player;
    if (quickTime)
        player = std::make_unique<MediaPlayerQT>(m_area);
    else
        player = std::make_unique<MediaPlayerRP>(m_area);
    QVERIFY(player->changeUrl(m_server.url(QStringLiteral("/nowhere.mp4"))));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QVERIFY(failed.first().at(0).toString().contains(QLatin1String("loading failed")));
    QVERIFY(player->changeUrl(QStringLiteral("javascript:alert(1)")));
    QTRY_COMPARE(failed.count(), 2);
}

void TestPlayersGl::immediateFailureComesAfterTheCallersPost()
{
    QStringList order;
    connect(MediaPlayerStatus::of(m_area), &MediaPlayerStatus::playbackFailed, this,
            [&order](const QString &) { order.append(QStringLiteral("failure")); });
    MediaPlayerWMP player(m_area);
    QVERIFY(player.changeUrl(QStringLiteral("file:///etc/passwd")));
    // What the window posts right after the change of stream.
    QMetaObject::invokeMethod(this, [&order] { order.append(QStringLiteral("status")); }, Qt::QueuedConnection);
    QTRY_COMPARE(order.size(), 2);
    QCOMPARE(order, QStringList({QStringLiteral("status"), QStringLiteral("failure")}));
}

void TestPlayersGl::disposeTwice()
{
    std::vector<std::unique_ptr<MediaPlayer>> players;
    players.push_back(std::make_unique<MediaPlayerStaticImage>(m_area));
    players.push_back(std::make_unique<MediaPlayerWMP>(m_area));
    players.push_back(std::make_unique<MediaPlayerRP>(m_area));
    players.push_back(std::make_unique<MediaPlayerQT>(m_area));
    players[1]->changeUrl(clipUrl());
    for (auto &player : players) {
        player->dispose();
        player->dispose();
    }
    QVERIFY(widgetsIn(m_area).isEmpty());
    // A disposed player fails its calls instead of touching freed widgets.
    QVERIFY_THROWS_EXCEPTION(OleError, players[2]->stop());
    QVERIFY_THROWS_EXCEPTION(OleError, players[3]->play());
    QCOMPARE(players[1]->changeUrl(clipUrl()), false);
    players.clear();
}

QTEST_MAIN(TestPlayersGl)
#include "tst_players_gl.moc"
