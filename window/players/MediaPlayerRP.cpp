#include "MediaPlayerRP.h"

#include "AutomationCall.h"
#include "OleFrame.h"
#include "PlayerArea.h"
#include "TulException.h"

#include <QLayout>

namespace {
const QString kProgId = QStringLiteral("rmocx.RealPlayer G2 Control.1");
}

MediaPlayerRP::MediaPlayerRP(QWidget *parent)
{
    m_isPaused = false;
    try {
        oleFrame = new OleFrame(parent, 0);
        PlayerArea::place(parent, oleFrame);
        oleControlSite = new OleControlSite(oleFrame, 0, kProgId);
        const int verb = oleControlSite->doVerb(Ole::OLEIVERB_SHOW);
        if (verb != Ole::S_OK)
            throw OleError(verb, QStringLiteral("The RealPlayer control refused to show"));
        OleAutomation automation(oleControlSite);
        AutomationCall::setProperty(automation, QStringLiteral("AutoStart"), Variant(true));
        AutomationCall::setProperty(automation, QStringLiteral("Controls"), Variant(QStringLiteral("ImageWindow")));
        AutomationCall::invoke(automation, QStringLiteral("SetMaintainAspect"), {Variant(true)});
        automation.dispose();
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
        throw TulException(QStringLiteral("ERROR_RPINVOKE"));
    }
}

MediaPlayerRP::~MediaPlayerRP()
{
    dispose();
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

bool MediaPlayerRP::isActivexControl()
{
    return true;
}

void MediaPlayerRP::fullscreen(bool on)
{
    AutomationCall::invoke(oleControlSite, on ? QStringLiteral("SetFullScreen") : QStringLiteral("SetOriginalSize"));
}

void MediaPlayerRP::dispose()
{
    delete oleControlSite;
    oleControlSite = nullptr;
    delete oleFrame;
    oleFrame = nullptr;
}

bool MediaPlayerRP::changeUrl(const QString &url)
{
    m_isPaused = false;
    AutomationCall::setProperty(oleControlSite, QStringLiteral("Source"), Variant(url));
    return true;
}
