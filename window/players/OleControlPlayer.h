#pragma once

#include "window/players/MediaPlayer.h"

#include <QString>

#include <functional>

class OleControlSite;
class OleFrame;
class QWidget;

// A player whose picture is an ActiveX control in a control frame, driven
// by automation. It owns the frame and the control site and removes both on
// dispose().
class OleControlPlayer : public MediaPlayer
{
public:
    ~OleControlPlayer() override;
    OleControlPlayer(const OleControlPlayer &) = delete;
    OleControlPlayer &operator=(const OleControlPlayer &) = delete;

    bool isActivexControl() override;
    void dispose() override;

    OleFrame *getOleFrame() const { return oleFrame; }
    OleControlSite *getOleControlSite() const { return oleControlSite; }

protected:
    OleControlPlayer() = default;

    // Puts a frame into the player area, the control with this ProgID into
    // it, shows the control, runs setUp on it (when given), connects its
    // failures to the area's status and lays everything out. When any step
    // fails, removes what it had made and throws TulException(errorKey);
    // refusedText describes a control that does not carry the show verb out.
    void embed(QWidget *parent, const QString &progId, const QString &refusedText, const QString &errorKey,
               const std::function<void(OleControlSite *)> &setUp = {});

    OleFrame *oleFrame = nullptr;
    OleControlSite *oleControlSite = nullptr;
};
