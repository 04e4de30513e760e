#include "window/players/MediaPlayerQT.h"

#include "window/players/AutomationCall.h"

namespace {
const QString kProgId = QStringLiteral("QuickTime.QuickTime");
}

MediaPlayerQT::MediaPlayerQT(QWidget *parent)
{
    m_isStopped = false;
    m_isPaused = false;
    embed(parent, kProgId, QStringLiteral("The QuickTime control refused to show"), QStringLiteral("ERROR_QTINVOKE"));
}

void MediaPlayerQT::stop()
{
    m_isStopped = true;
    AutomationCall::invoke(oleControlSite, QStringLiteral("Stop"));
}

void MediaPlayerQT::play()
{
    m_isStopped = false;
    AutomationCall::invoke(oleControlSite, QStringLiteral("Play"));
}

void MediaPlayerQT::pause()
{
    m_isStopped = false;
    m_isPaused = true;
    // The control has no pause: its stop halts where it is.
    AutomationCall::invoke(oleControlSite, QStringLiteral("Stop"));
}

bool MediaPlayerQT::isStopped()
{
    return m_isStopped;
}

bool MediaPlayerQT::isPaused()
{
    return m_isPaused;
}

bool MediaPlayerQT::isFullscreen()
{
    return false;
}

void MediaPlayerQT::fullscreen(bool)
{
}

bool MediaPlayerQT::changeUrl(const QString &url)
{
    AutomationCall::invoke(oleControlSite, QStringLiteral("SetURL"), {Variant(url)});
    return true;
}
