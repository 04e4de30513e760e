#include "window/players/MediaPlayerStaticImage.h"

#include "window/players/PlayerArea.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// The black canvas; its paint events go to the player.
class IdleCanvas : public QWidget
{
public:
    IdleCanvas(QWidget *parent, MediaPlayerStaticImage *player) : QWidget(parent), m_player(player)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_player->paint(painter, size());
    }

private:
    MediaPlayerStaticImage *m_player;
};

} // namespace

MediaPlayerStaticImage::MediaPlayerStaticImage(QWidget *parent)
{
    imageComp = new IdleCanvas(parent, this);
    image = QImage(QStringLiteral(":/images/grumlet.jpg"));
    color = QColor(0, 0, 0);
    QPalette background = imageComp->palette();
    background.setColor(QPalette::Window, color);
    imageComp->setPalette(background);
    imageComp->setAutoFillBackground(true);
    PlayerArea::place(parent, imageComp);
}

MediaPlayerStaticImage::~MediaPlayerStaticImage()
{
    dispose();
}

void MediaPlayerStaticImage::stop()
{
}

void MediaPlayerStaticImage::play()
{
}

void MediaPlayerStaticImage::pause()
{
}

bool MediaPlayerStaticImage::isStopped()
{
    return true;
}

bool MediaPlayerStaticImage::isPaused()
{
    return false;
}

bool MediaPlayerStaticImage::isFullscreen()
{
    return false;
}

bool MediaPlayerStaticImage::isActivexControl()
{
    return false;
}

void MediaPlayerStaticImage::fullscreen(bool)
{
}

void MediaPlayerStaticImage::dispose()
{
    color = QColor();
    delete imageComp;
    imageComp = nullptr;
    image = QImage();
}

bool MediaPlayerStaticImage::changeUrl(const QString &)
{
    return false;
}

QPoint MediaPlayerStaticImage::imageOrigin(const QSize &canvas, const QSize &picture)
{
    // C++ integer division truncates toward zero, as the placement wants.
    return QPoint(canvas.width() / 2 - picture.width() / 2, canvas.height() / 2 - picture.height() / 2);
}

void MediaPlayerStaticImage::paint(QPainter &painter, const QSize &canvasSize)
{
    if (image.isNull())
        return;
    painter.drawImage(imageOrigin(canvasSize, image.size()), image);
}
