#pragma once

#include <QWidget>

class MpvEngine;
class QLabel;
class QToolButton;

// The small control bar under a picture: play, pause, stop and the time.
class MiniControlBar : public QWidget
{
    Q_OBJECT

public:
    explicit MiniControlBar(MpvEngine *engine, QWidget *parent = nullptr);

    QToolButton *playButton() const { return m_play; }
    QToolButton *pauseButton() const { return m_pause; }
    QToolButton *stopButton() const { return m_stop; }
    QString timeText() const;

    // "m:ss" or "h:mm:ss"; "--:--" for an unknown time.
    static QString formatTime(double seconds);

private:
    void refresh();

    MpvEngine *m_engine;
    QToolButton *m_play;
    QToolButton *m_pause;
    QToolButton *m_stop;
    QLabel *m_time;
};
