#include "window/players/MediaPlayerRP.h"

#include "platform/OleFrame.h"
#include "window/players/AutomationCall.h"

namespace {
const QString kProgId = QStringLiteral("rmocx.RealPlayer G2 Control.1");
}

MediaPlayerRP::MediaPlayerRP(QWidget *parent)
{
    m_isPaused = false;
    embed(parent, kProgId, QStringLiteral("The RealPlayer control refused to show"), QStringLiteral("ERROR_RPINVOKE"),
          [](OleControlSite *site) {
              OleAutomation automation(site);
              AutomationCall::setProperty(automation, QStringLiteral("AutoStart"), Variant(true));
              AutomationCall::setProperty(automation, QStringLiteral("Controls"),
                                          Variant(QStringLiteral("ImageWindow")));
              AutomationCall::invoke(automation, QStringLiteral("SetMaintainAspect"), {Variant(true)});
              automation.dispose();
          });
}

void MediaPlayerRP::stop()
{
    m_isPaused = false;
    AutomationCall::invoke(oleControlSite, QStringLiteral("DoStop"));
}

void MediaPlayerRP::play()
{
    m_isPaused = false;
    AutomationCall::invoke(oleControlSite, QStringLiteral("DoPlay"));
}

void MediaPlayerRP::pause()
{
    m_isPaused = true;
    AutomationCall::invoke(oleControlSite, QStringLiteral("DoPause"));
}

bool MediaPlayerRP::isStopped()
{
    return !AutomationCall::query(oleControlSite, QStringLiteral("CanStop"));
}

bool MediaPlayerRP::isPaused()
{
    return m_isPaused;
}

bool MediaPlayerRP::isFullscreen()
{
    return AutomationCall::query(oleControlSite, QStringLiteral("GetFullScreen"));
}

void MediaPlayerRP::fullscreen(bool on)
{
    AutomationCall::invoke(oleControlSite, on ? QStringLiteral("SetFullScreen") : QStringLiteral("SetOriginalSize"));
}

bool MediaPlayerRP::changeUrl(const QString &url)
{
    m_isPaused = false;
    AutomationCall::setProperty(oleControlSite, QStringLiteral("Source"), Variant(url));
    return true;
}
