#pragma once

#include "window/players/MediaPlayer.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>

class QPainter;
class QWidget;

// The idle picture: the mascot picture centred on black. It plays nothing.
class MediaPlayerStaticImage : public MediaPlayer
{
public:
    explicit MediaPlayerStaticImage(QWidget *parent);
    ~MediaPlayerStaticImage() override;
    MediaPlayerStaticImage(const MediaPlayerStaticImage &) = delete;
    MediaPlayerStaticImage &operator=(const MediaPlayerStaticImage &) = delete;

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

    // The picture's top-left corner on a canvas of the given size: each
    // half on its own, truncated toward zero, so an odd difference may put
    // it one pixel off the exact centre; negative on a smaller canvas.
    static QPoint imageOrigin(const QSize &canvas, const QSize &image);

    // The canvas (null after dispose) and the picture.
    QWidget *canvas() const { return imageComp; }
    const QImage &picture() const { return image; }

    // The canvas's paint listener.
    void paint(QPainter &painter, const QSize &canvasSize);

private:
    QWidget *imageComp = nullptr;
    QImage image;
    QColor color;
};
