#include "window/players/MediaPlayerWMP.h"

#include "platform/EmbeddedBrowser.h"
#include "platform/HtmlText.h"
#include "window/players/PlayerArea.h"

#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>

MediaPlayerWMP::MediaPlayerWMP(QWidget *parent)
{
    comp = new QWidget(parent);
    auto *layout = new QVBoxLayout(comp);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new EmbeddedBrowser(comp);
    layout->addWidget(browser);
    MediaPlayerStatus *status = MediaPlayerStatus::of(parent);
    QObject::connect(browser, &EmbeddedBrowser::playbackFailed, status, &MediaPlayerStatus::post);
    PlayerArea::place(parent, comp);
    PlayerArea::layOut(parent);
}

MediaPlayerWMP::~MediaPlayerWMP()
{
    dispose();
}

void MediaPlayerWMP::stop()
{
}

void MediaPlayerWMP::play()
{
    if (browser)
        browser->play();
}

// The window's Pause acts on the page's player (which keeps the playback
// state; the panel itself has none), so Space pauses this kind too.
void MediaPlayerWMP::pause()
{
    if (browser)
        browser->pause();
}

bool MediaPlayerWMP::isStopped()
{
    return false;
}

bool MediaPlayerWMP::isPaused()
{
    return false;
}

bool MediaPlayerWMP::isFullscreen()
{
    return browser && browser->isPlayerFullScreen();
}

bool MediaPlayerWMP::isActivexControl()
{
    return true;
}

void MediaPlayerWMP::fullscreen(bool on)
{
    if (browser)
        browser->setPlayerFullScreen(on);
}

void MediaPlayerWMP::dispose()
{
    // The browser goes with its panel.
    delete comp;
    comp = nullptr;
    browser = nullptr;
}

bool MediaPlayerWMP::changeUrl(const QString &url)
{
    if (!browser)
        return false;
    browser->stop();
    browser->setText(playerPage(url));
    return true;
}

QString MediaPlayerWMP::playerPage(const QString &url)
{
    const QString eight(8, u' ');
    const QString two(2, u' ');
    const QStringList lines = {
        QStringLiteral("<html>"),
        QString(),
        QStringLiteral("<head>"),
        QString(),
        QStringLiteral("<script>"),
        QString(),
        QStringLiteral("window.onresize=resizeWMP;"),
        QStringLiteral("document.onmousedown=new Function(\"return false\");"),
        QStringLiteral("window.onmousedown=new Function(\"return false\");"),
        QStringLiteral("document.oncontextmenu=new Function(\"return false\");"),
        QString(),
        QStringLiteral("function resizeWMP() {"),
        QString(),
        eight + QStringLiteral("Player.width = document.body.offsetWidth - 25;"),
        eight + QStringLiteral("Player.height = document.body.offsetHeight - 25;"),
        eight,
        eight + QStringLiteral("return false;"),
        QStringLiteral("}"),
        QString(),
        QStringLiteral("</script>"),
        QString(),
        QStringLiteral("<style>"),
        QStringLiteral("body {"),
        eight + QStringLiteral("background-color: black;"),
        eight + QStringLiteral("overflow: hidden;"),
        QStringLiteral("}"),
        QStringLiteral("</style>"),
        QString(),
        QStringLiteral("</head>"),
        QString(),
        QStringLiteral("<body onload=\"resizeWMP();\">"),
        QString(),
        QStringLiteral("<object id=\"Player\""),
        two + QStringLiteral("classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">"),
        two + QStringLiteral("<param name=\"autoStart\" value=\"True\">"),
        two + QStringLiteral("<param name=\"uiMode\" value=\"mini\">"),
        two + QStringLiteral("<param name=\"stretchToFit\" value=\"True\">"),
        two + QStringLiteral("<param name=\"PlayCount\" value=\"9999\">"),
        QString(),
        two + QStringLiteral("<param name=\"url\""),
        QStringLiteral("value=\"") + HtmlText::escape(url) + QStringLiteral("\">"),
        QStringLiteral("</object>"),
        QString(),
        QStringLiteral("</body>"),
        QString(),
        QStringLiteral("</html>"),
    };
    return lines.join(QStringLiteral("\r\n"));
}
