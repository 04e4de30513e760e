#pragma once

#include "MediaPlayer.h"

class OleControlSite;
class OleFrame;
class QWidget;

// The QuickTime kind: the QuickTime control in a control frame, driven by
// automation.
class MediaPlayerQT : public MediaPlayer
{
public:
    // Throws TulException("ERROR_QTINVOKE") when the control cannot be
    // created, after removing what it had made from the parent.
    explicit MediaPlayerQT(QWidget *parent);
    ~MediaPlayerQT() override;
    MediaPlayerQT(const MediaPlayerQT &) = delete;
    MediaPlayerQT &operator=(const MediaPlayerQT &) = delete;

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
    bool m_isStopped = false;
    bool m_isPaused = false;
};
