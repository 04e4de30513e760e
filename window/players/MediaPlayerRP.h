#pragma once

#include "MediaPlayer.h"

class OleControlSite;
class OleFrame;
class QWidget;

// The RealPlayer kind: the RealPlayer control in a control frame, driven by
// automation.
class MediaPlayerRP : public MediaPlayer
{
public:
    // Throws TulException("ERROR_RPINVOKE") when the control cannot be
    // created, after removing what it had made from the parent.
    explicit MediaPlayerRP(QWidget *parent);
    ~MediaPlayerRP() override;
    MediaPlayerRP(const MediaPlayerRP &) = delete;
    MediaPlayerRP &operator=(const MediaPlayerRP &) = delete;

    void stop() override;
    void play() override;
    void pause() override;
    bool isStopped() override;
    bool isPaused() override;
    bool isFullscreen() override;
    bool isActivexControl() override;
    void fullscreen(bool on) override;
    void dispose() override;
    bool changeUrl(const QString &url) override;

    OleFrame *getOleFrame() const { return oleFrame; }
    OleControlSite *getOleControlSite() const { return oleControlSite; }

private:
    OleFrame *oleFrame = nullptr;
    OleControlSite *oleControlSite = nullptr;
    bool m_isPaused = false;
};
