#pragma once

#include "window/players/OleControlPlayer.h"

class QWidget;

// The QuickTime kind: the QuickTime control in a control frame, driven by
// automation.
class MediaPlayerQT : public OleControlPlayer
{
public:
    // Throws TulException("ERROR_QTINVOKE") when the control cannot be
    // created, after removing what it had made from the parent.
    explicit MediaPlayerQT(QWidget *parent);

    void stop() override;
    void play() override;
    void pause() override;
    bool isStopped() override;
    bool isPaused() override;
    bool isFullscreen() override;
    void fullscreen(bool on) override;
    bool changeUrl(const QString &url) override;

private:
    bool m_isStopped = false;
    bool m_isPaused = false;
};
