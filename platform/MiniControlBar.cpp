#include "platform/MiniControlBar.h"

#include "platform/MpvEngine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <cmath>

namespace {

enum class Glyph { Play, Pause, Stop };

constexpr int kIconSize = 14;

// A glyph drawn in one colour on a transparent square (twice the size, for
// sharp edges on screens with more pixels per point).
QPixmap glyphPixmap(Glyph glyph, const QColor &colour)
{
    constexpr int scale = 2;
    QPixmap pixmap(kIconSize * scale, kIconSize * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    switch (glyph) {
    case Glyph::Play: {
        QPainterPath triangle;
        triangle.moveTo(3, 2);
        triangle.lineTo(12, 7);
        triangle.lineTo(3, 12);
        triangle.closeSubpath();
        painter.drawPath(triangle);
        break;
    }
    case Glyph::Pause:
        painter.drawRect(QRectF(3, 2, 3, 10));
        painter.drawRect(QRectF(8, 2, 3, 10));
        break;
    case Glyph::Stop:
        painter.drawRect(QRectF(3, 3, 8, 8));
        break;
    }
    painter.end();
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

// Light glyphs, and dim ones while the button is disabled, so that they
// show on the bar's dark background.
QIcon glyphIcon(Glyph glyph)
{
    QIcon icon;
    icon.addPixmap(glyphPixmap(glyph, QColor(0xdd, 0xdd, 0xdd)), QIcon::Normal);
    icon.addPixmap(glyphPixmap(glyph, QColor(0xff, 0xff, 0xff)), QIcon::Active);
    icon.addPixmap(glyphPixmap(glyph, QColor(0x60, 0x60, 0x60)), QIcon::Disabled);
    return icon;
}

} // namespace

MiniControlBar::MiniControlBar(MpvEngine *engine, QWidget *parent) : QWidget(parent), m_engine(engine)
{
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    colours.setColor(QPalette::WindowText, QColor(0xdd, 0xdd, 0xdd));
    colours.setColor(QPalette::ButtonText, QColor(0xdd, 0xdd, 0xdd));
    setPalette(colours);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 6, 1);
    layout->setSpacing(1);
    auto button = [this, layout](Glyph glyph, const QString &tip) {
        auto *b = new QToolButton(this);
        b->setIcon(glyphIcon(glyph));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(kIconSize, kIconSize));
        layout->addWidget(b);
        return b;
    };
    m_play = button(Glyph::Play, tr("Play"));
    m_pause = button(Glyph::Pause, tr("Pause"));
    m_stop = button(Glyph::Stop, tr("Stop"));
    layout->addStretch(1);
    m_time = new QLabel(this);
    m_time->setTextFormat(Qt::PlainText);
    layout->addWidget(m_time);

    connect(m_play, &QToolButton::clicked, engine, &MpvEngine::play);
    connect(m_pause, &QToolButton::clicked, engine, &MpvEngine::pause);
    connect(m_stop, &QToolButton::clicked, engine, &MpvEngine::stop);
    connect(engine, &MpvEngine::stateChanged, this, &MiniControlBar::refresh);
    connect(engine, &MpvEngine::timePosChanged, this, &MiniControlBar::refresh);
    connect(engine, &MpvEngine::durationChanged, this, &MiniControlBar::refresh);
    refresh();
}

QString MiniControlBar::formatTime(double seconds)
{
    if (!(seconds >= 0) || !std::isfinite(seconds))
        return QStringLiteral("--:--");
    const qint64 total = qint64(seconds);
    const qint64 h = total / 3600;
    const qint64 m = (total / 60) % 60;
    const qint64 s = total % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar(u'0'));
}

QString MiniControlBar::timeText() const
{
    return m_time->text();
}

void MiniControlBar::refresh()
{
    const MpvEngine::State state = m_engine->state();
    const bool stopped = state == MpvEngine::State::Stopped;
    m_play->setEnabled(state != MpvEngine::State::Playing && !(stopped && m_engine->address().isEmpty()));
    m_pause->setEnabled(state == MpvEngine::State::Playing || state == MpvEngine::State::Loading);
    m_stop->setEnabled(!stopped);
    if (stopped) {
        m_time->setText(QString());
        return;
    }
    const double length = m_engine->duration();
    QString text = formatTime(m_engine->timePos());
    if (length > 0)
        text += QStringLiteral(" / ") + formatTime(length);
    m_time->setText(text);
}
