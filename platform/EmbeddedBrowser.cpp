#include "platform/EmbeddedBrowser.h"

#include "platform/FullScreenHost.h"
#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

// The body margins of a page without a style for them: 10 pixels left and
// right, 15 top and bottom.
constexpr int kBodyMarginX = 10;
constexpr int kBodyMarginY = 15;

void makeBlack(QWidget *widget)
{
    QPalette black = widget->palette();
    black.setColor(QPalette::Window, Qt::black);
    widget->setPalette(black);
    widget->setAutoFillBackground(true);
}

} // namespace

EmbeddedBrowser::EmbeddedBrowser(QWidget *parent) : QWidget(parent)
{
    makeBlack(this);
}

EmbeddedBrowser::~EmbeddedBrowser()
{
    clearPlayer();
}

bool EmbeddedBrowser::setText(const QString &html)
{
    clearPlayer();
    m_html = html;
    m_page = parseMediaPage(html);
    m_lastError.clear();
    if (m_page.hasPlayer)
        createPlayer();
    update();
    return true;
}

void EmbeddedBrowser::stop()
{
    if (m_video)
        m_video->engine()->stop();
}

void EmbeddedBrowser::pause()
{
    if (m_video)
        m_video->engine()->pause();
}

void EmbeddedBrowser::play()
{
    if (m_video)
        m_video->engine()->play();
}

void EmbeddedBrowser::clearPlayer()
{
    // Leaving full screen first brings the picture home, into the area
    // that goes next.
    delete m_fullScreen;
    m_fullScreen = nullptr;
    delete m_area;
    m_area = nullptr;
    m_video = nullptr;
    m_controls = nullptr;
}

void EmbeddedBrowser::reportFailure(const QString &message)
{
    m_lastError = message;
    emit playbackFailed(message);
}

void EmbeddedBrowser::createPlayer()
{
    const MediaObject &player = m_page.player;
    const QString mode = player.uiMode();

    m_area = new QWidget(this);
    makeBlack(m_area);
    auto *layout = new QVBoxLayout(m_area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_video = new MpvWidget(m_area);
    layout->addWidget(m_video, 1);
    if (mode == QLatin1String("mini") || mode == QLatin1String("full")) {
        m_controls = new MiniControlBar(m_video->engine(), m_area);
        layout->addWidget(m_controls, 0);
    }
    m_fullScreen = new FullScreenHost(m_video, this);
    connect(m_fullScreen, &FullScreenHost::fullScreenChanged, this, &EmbeddedBrowser::fullScreenChanged);
    connect(m_video->engine(), &MpvEngine::playbackFailed, this, &EmbeddedBrowser::reportFailure);

    m_area->setGeometry(playerGeometry(size()));
    m_area->setVisible(mode != QLatin1String("invisible"));

    if (!m_video->start()) {
        const QString message = QStringLiteral("Could not play the stream: %1").arg(m_video->errorString());
        m_video->setMessage(message);
        reportFailure(message);
        return;
    }
    MpvEngine *engine = m_video->engine();
    engine->setPlayCount(player.playCount());
    engine->setScaleUp(player.stretchToFit());
    const QString url = player.url();
    if (!url.trimmed().isEmpty())
        engine->load(url, !player.autoStart());
}

QRect EmbeddedBrowser::playerGeometry(const QSize &pageSize) const
{
    int w = m_page.shrinkWidth >= 0 ? pageSize.width() - m_page.shrinkWidth
            : m_page.player.width >= 0 ? m_page.player.width
                                       : pageSize.width() - 2 * kBodyMarginX;
    int h = m_page.shrinkHeight >= 0 ? pageSize.height() - m_page.shrinkHeight
            : m_page.player.height >= 0 ? m_page.player.height
                                        : pageSize.height() - 2 * kBodyMarginY;
    return QRect(kBodyMarginX, kBodyMarginY, qMax(0, w), qMax(0, h));
}

bool EmbeddedBrowser::isPlayerFullScreen() const
{
    return m_fullScreen && m_fullScreen->isFullScreen();
}

void EmbeddedBrowser::setPlayerFullScreen(bool on)
{
    if (m_fullScreen)
        m_fullScreen->setFullScreen(on);
}

void EmbeddedBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_area)
        m_area->setGeometry(playerGeometry(size()));
}

void EmbeddedBrowser::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}
