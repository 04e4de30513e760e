#include "window/players/OleControlPlayer.h"

#include "catalogue/TulException.h"
#include "platform/OleFrame.h"
#include "window/players/PlayerArea.h"

OleControlPlayer::~OleControlPlayer()
{
    dispose();
}

void OleControlPlayer::embed(QWidget *parent, const QString &progId, const QString &refusedText,
                             const QString &errorKey, const std::function<void(OleControlSite *)> &setUp)
{
    try {
        oleFrame = new OleFrame(parent, 0);
        PlayerArea::place(parent, oleFrame);
        oleControlSite = new OleControlSite(oleFrame, 0, progId);
        const int verb = oleControlSite->doVerb(Ole::OLEIVERB_SHOW);
        if (verb != Ole::S_OK)
            throw OleError(verb, refusedText);
        if (setUp)
            setUp(oleControlSite);
        QObject::connect(oleControlSite, &OleControlSite::playbackFailed, MediaPlayerStatus::of(parent),
                         &MediaPlayerStatus::post);
        PlayerArea::layOut(oleControlSite);
        PlayerArea::layOut(oleFrame);
        PlayerArea::layOut(parent);
    } catch (const std::exception &) {
        OleControlPlayer::dispose();
        throw TulException(errorKey);
    }
}

bool OleControlPlayer::isActivexControl()
{
    return true;
}

void OleControlPlayer::dispose()
{
    delete oleControlSite;
    oleControlSite = nullptr;
    delete oleFrame;
    oleFrame = nullptr;
}
