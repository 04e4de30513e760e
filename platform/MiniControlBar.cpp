#include "MiniControlBar.h"

#include "MpvEngine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <cmath>

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
    auto button = [this, layout](QStyle::StandardPixmap icon, const QString &tip) {
        auto *b = new QToolButton(this);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(14, 14));
        layout->addWidget(b);
        return b;
    };
    m_play = button(QStyle::SP_MediaPlay, tr("Play"));
    m_pause = button(QStyle::SP_MediaPause, tr("Pause"));
    m_stop = button(QStyle::SP_MediaStop, tr("Stop"));
    layout->addStretch(1);
    m_time = new QLabel(this);
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
