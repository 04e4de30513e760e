// The embedded browser playing the media player object of a page.

#include "platform/EmbeddedBrowser.h"
#include "platform/HtmlText.h"
#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"
#include "tests/platform/TestMedia.h"

#include <QLayout>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

QString page(const QString &url, const QString &autoStart = QStringLiteral("True"),
             const QString &uiMode = QStringLiteral("mini"), const QString &playCount = QStringLiteral("9999"))
{
    return QStringLiteral(
               "<html>\r\n<head>\r\n<script>\r\nwindow.onresize=resizeWMP;\r\n"
               "function resizeWMP() {\r\n        Player.width = document.body.offsetWidth - 25;\r\n"
               "        Player.height = document.body.offsetHeight - 25;\r\n        return false;\r\n}\r\n</script>\r\n"
               "</head>\r\n<body onload=\"resizeWMP();\">\r\n<object id=\"Player\"\r\n"
               "  classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">\r\n"
               "  <param name=\"autoStart\" value=\"%1\">\r\n  <param name=\"uiMode\" value=\"%2\">\r\n"
               "  <param name=\"stretchToFit\" value=\"True\">\r\n  <param name=\"PlayCount\" value=\"%3\">\r\n\r\n"
               "  <param name=\"url\"\r\nvalue=\"%4\">\r\n</object>\r\n</body>\r\n</html>")
        .arg(autoStart, uiMode, playCount, HtmlText::escape(url));
}

} // namespace

class TestBrowserGl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playsThePlayerObject();
    void sizesThePlayerAsThePageAsks();
    void eachPageMakesANewPlayer();
    void autoStartOffWaitsForPlay();
    void uiModes_data();
    void uiModes();
    void refusedSchemesPlayNothing_data();
    void refusedSchemesPlayNothing();
    void escapedAddressArrivesUnchanged();
    void missingStreamIsReported();
    void pageWithoutPlayer();
    void stopStopsThePage();
    void fullScreenAndBack();

private:
    QString clipUrl() const { return m_server.url(QStringLiteral("/media/") + m_clip); }

    QTemporaryDir m_dir;
    QString m_clip;
    TestMedia::Server m_server;
    std::unique_ptr<EmbeddedBrowser> m_browser;
};

void TestBrowserGl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = TestMedia::makeClip(m_dir.path(), 2.0);
    QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    QVERIFY(m_server.start(m_dir.path()));
    MpvEngine::setAudioOutput(QStringLiteral("null"));
}

void TestBrowserGl::init()
{
    m_browser = std::make_unique<EmbeddedBrowser>();
    m_browser->resize(400, 300);
    m_browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_browser.get()));
}

void TestBrowserGl::cleanup()
{
    m_browser.reset();
}

void TestBrowserGl::playsThePlayerObject()
{
    QSignalSpy failed(m_browser.get(), &EmbeddedBrowser::playbackFailed);
    QVERIFY(m_browser->setText(page(clipUrl())));
    QVERIFY(m_browser->page().hasPlayer);
    MpvWidget *video = m_browser->playerVideo();
    QVERIFY(video);
    QVERIFY(video->isRendering());
    MpvEngine *engine = video->engine();
    QCOMPARE(engine->address(), clipUrl());
    QCOMPARE(engine->playCount(), 9999);
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    QVERIFY(m_browser->playerControls());
    QTRY_VERIFY(!m_browser->playerControls()->timeText().isEmpty());
    QCOMPARE(failed.count(), 0);
    QVERIFY(m_browser->lastError().isEmpty());
}

void TestBrowserGl::sizesThePlayerAsThePageAsks()
{
    QVERIFY(m_browser->setText(page(clipUrl())));
    QCOMPARE(m_browser->page().shrinkWidth, 25);
    QCOMPARE(m_browser->page().shrinkHeight, 25);
    QCOMPARE(m_browser->playerArea()->geometry(), QRect(10, 15, 375, 275));
    m_browser->resize(640, 480);
    QTRY_COMPARE(m_browser->playerArea()->geometry(), QRect(10, 15, 615, 455));
    // The bar sits under the picture.
    QWidget *bar = m_browser->playerControls();
    QTRY_VERIFY(bar->geometry().top() >= m_browser->playerVideo()->geometry().bottom());
    QVERIFY(bar->height() < 60);
    m_browser->resize(20, 20);
    QTRY_COMPARE(m_browser->playerArea()->geometry(), QRect(10, 15, 0, 0));
}

void TestBrowserGl::eachPageMakesANewPlayer()
{
    QVERIFY(m_browser->setText(page(clipUrl())));
    QPointer<MpvWidget> first = m_browser->playerVideo();
    QTRY_COMPARE_WITH_TIMEOUT(first->engine()->state(), MpvEngine::State::Playing, 10000);
    QVERIFY(m_browser->setText(page(clipUrl())));
    QVERIFY(first.isNull());
    QVERIFY(m_browser->playerVideo());
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->playerVideo()->engine()->state(), MpvEngine::State::Playing, 10000);
}

void TestBrowserGl::autoStartOffWaitsForPlay()
{
    QVERIFY(m_browser->setText(page(clipUrl(), QStringLiteral("False"))));
    MpvEngine *engine = m_browser->playerVideo()->engine();
    QSignalSpy loaded(engine, &MpvEngine::fileLoaded);
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isPaused(), 10000);
    // Loaded, the clip still waits at its start.
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 10000);
    QVERIFY(engine->timePos() < 0.1);
    QToolButton *play = m_browser->playerControls()->playButton();
    QVERIFY(play->isEnabled());
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    QTest::mouseClick(m_browser->playerControls()->stopButton(), Qt::LeftButton);
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
}

void TestBrowserGl::uiModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("bar");
    QTest::addColumn<bool>("shown");
    QTest::newRow("mini") << QStringLiteral("mini") << true << true;
    QTest::newRow("full") << QStringLiteral("Full") << true << true;
    QTest::newRow("none") << QStringLiteral("none") << false << true;
    QTest::newRow("invisible") << QStringLiteral("invisible") << false << false;
}

void TestBrowserGl::uiModes()
{
    QFETCH(QString, mode);
    QFETCH(bool, bar);
    QFETCH(bool, shown);
    QVERIFY(m_browser->setText(page(clipUrl(), QStringLiteral("True"), mode)));
    QCOMPARE(m_browser->playerControls() != nullptr, bar);
    QCOMPARE(m_browser->playerArea()->isVisible(), shown);
    // Invisible or not, the stream plays.
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->playerVideo()->engine()->state(), MpvEngine::State::Playing, 10000);
}

void TestBrowserGl::refusedSchemesPlayNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(document.cookie)");
    QTest::newRow("data") << QStringLiteral("data:video/mp4;base64,AAAA");
    QTest::newRow("relative") << QStringLiteral("clip.mp4");
    QTest::newRow("engine protocol") << QStringLiteral("av://lavfi:testsrc2");
}

void TestBrowserGl::refusedSchemesPlayNothing()
{
    QFETCH(QString, url);
    QSignalSpy failed(m_browser.get(), &EmbeddedBrowser::playbackFailed);
    QVERIFY(m_browser->setText(page(url)));
    QCOMPARE(failed.count(), 1);
    const QString message = failed.first().at(0).toString();
    QVERIFY2(message.contains(QLatin1String("Could not play the stream")), qPrintable(message));
    QCOMPARE(m_browser->lastError(), message);
    MpvWidget *video = m_browser->playerVideo();
    QCOMPARE(video->message(), message);
    QCOMPARE(video->engine()->state(), MpvEngine::State::Stopped);
    // The text stands on the black area.
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(video->engine()->isIdle(), 5000);
    QCOMPARE(video->engine()->timePos(), -1.0);
}

void TestBrowserGl::escapedAddressArrivesUnchanged()
{
    const QString query = QStringLiteral("?a=1&b=%22x%22&c='y'&d=<z>&e=&amp;");
    const QString url = clipUrl() + query;
    const QString html = page(url);
    // The page holds the address escaped, one attribute value...
    QVERIFY(!html.contains(url));
    QCOMPARE(m_browser->setText(html), true);
    QCOMPARE(m_browser->page().player.url(), url);
    QCOMPARE(m_browser->page().player.params.size(), 5);
    // ...and the player asks the server for exactly that address.
    MpvEngine *engine = m_browser->playerVideo()->engine();
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QCOMPARE(engine->address(), url);
    // (The HTTP client may percent-encode characters a request line cannot
    // carry; decoded, the target is the address's own.)
    const QString target = QUrl::fromPercentEncoding((QStringLiteral("/media/") + m_clip + query).toUtf8());
    QStringList received;
    for (const QString &t : m_server.targets())
        received.append(QUrl::fromPercentEncoding(t.toUtf8()));
    QVERIFY2(received.contains(target), qPrintable(received.join(u'\n')));
}

void TestBrowserGl::missingStreamIsReported()
{
    QSignalSpy failed(m_browser.get(), &EmbeddedBrowser::playbackFailed);
    QVERIFY(m_browser->setText(page(m_server.url(QStringLiteral("/media/absent.mp4")))));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QVERIFY(failed.first().at(0).toString().contains(QLatin1String("loading failed")));
    QCOMPARE(m_browser->playerVideo()->message(), failed.first().at(0).toString());
}

void TestBrowserGl::pageWithoutPlayer()
{
    QSignalSpy failed(m_browser.get(), &EmbeddedBrowser::playbackFailed);
    QVERIFY(m_browser->setText(QStringLiteral("<html><body><p>Hello</p>"
                                              "<object classid=\"CLSID:00000000-0000-0000-0000-000000000000\"></object></body></html>")));
    QVERIFY(!m_browser->page().hasPlayer);
    QVERIFY(!m_browser->playerVideo());
    QVERIFY(!m_browser->playerArea());
    QCOMPARE(failed.count(), 0);
    QVERIFY(!TestMedia::hasPicture(m_browser->grab().toImage()));
    m_browser->stop();
    m_browser->setPlayerFullScreen(true);
    QVERIFY(!m_browser->isPlayerFullScreen());
}

void TestBrowserGl::stopStopsThePage()
{
    QVERIFY(m_browser->setText(page(clipUrl())));
    MpvEngine *engine = m_browser->playerVideo()->engine();
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    m_browser->stop();
    QCOMPARE(engine->state(), MpvEngine::State::Stopped);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isIdle(), 5000);
}

void TestBrowserGl::fullScreenAndBack()
{
    QSignalSpy changed(m_browser.get(), &EmbeddedBrowser::fullScreenChanged);
    QVERIFY(m_browser->setText(page(clipUrl())));
    MpvWidget *video = m_browser->playerVideo();
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    m_browser->setPlayerFullScreen(true);
    QVERIFY(m_browser->isPlayerFullScreen());
    QCOMPARE(changed.count(), 1);
    QVERIFY(video->window() != m_browser.get());
    QVERIFY(video->window()->isFullScreen());
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    m_browser->setPlayerFullScreen(false);
    QVERIFY(!m_browser->isPlayerFullScreen());
    QCOMPARE(changed.count(), 2);
    QVERIFY(video->parentWidget() == m_browser->playerArea());
    QCOMPARE(m_browser->playerArea()->layout()->indexOf(video), 0);
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::hasPicture(video->grabFrame()), 10000);
    // A new page while full screen ends full screen first.
    m_browser->setPlayerFullScreen(true);
    QVERIFY(m_browser->setText(page(clipUrl())));
    QVERIFY(!m_browser->isPlayerFullScreen());
    QCOMPARE(changed.count(), 4);
}

QTEST_MAIN(TestBrowserGl)
#include "tst_browser_gl.moc"
