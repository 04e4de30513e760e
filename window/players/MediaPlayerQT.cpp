#include "MediaPlayerQT.h"

#include "AutomationCall.h"
#include "OleFrame.h"
#include "PlayerArea.h"
#include "TulException.h"

namespace {
const QString kProgId = QStringLiteral("QuickTime.QuickTime");
}

MediaPlayerQT::MediaPlayerQT(QWidget *parent)
{
    m_isStopped = false;
    m_isPaused = false;
    try {
        oleFrame = new OleFrame(parent, 0);
        PlayerArea::place(parent, oleFrame);
        oleControlSite = new OleControlSite(oleFrame, 0, kProgId);
        const int verb = oleControlSite->doVerb(Ole::OLEIVERB_SHOW);
        if (verb != Ole::S_OK)
            throw OleError(verb, QStringLiteral("The QuickTime control refused to show"));
        QObject::connect(oleControlSite, &OleControlSite::playbackFailed, MediaPlayerStatus::of(parent),
                         &MediaPlayerStatus::post);
        PlayerArea::layOut(oleControlSite);
        PlayerArea::layOut(oleFrame);
        PlayerArea::layOut(parent);
    } catch (const std::exception &) {
        delete oleControlSite;
        oleControlSite = nullptr;
        delete oleFrame;
        oleFrame = nullptr;
        throw TulException(QStringLiteral("ERROR_QTINVOKE"));
    }
}

MediaPlayerQT::~MediaPlayerQT()
{
    dispose();
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

bool MediaPlayerQT::isActivexControl()
{
    return true;
}

void MediaPlayerQT::fullscreen(bool)
{
}

void MediaPlayerQT::dispose()
{
    delete oleControlSite;
    oleControlSite = nullptr;
    delete oleFrame;
    oleFrame = nullptr;
}

bool MediaPlayerQT::changeUrl(const QString &url)
{
    AutomationCall::invoke(oleControlSite, QStringLiteral("SetURL"), {Variant(url)});
    return true;
}
