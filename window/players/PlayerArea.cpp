#include "window/players/PlayerArea.h"

#include <QLayout>
#include <QStackedLayout>
#include <QWidget>

namespace PlayerArea {

void place(QWidget *area, QWidget *widget)
{
    if (!area || !widget)
        return;
    if (QLayout *layout = area->layout()) {
        layout->addWidget(widget);
        if (auto *stack = qobject_cast<QStackedLayout *>(layout))
            stack->setCurrentWidget(widget);
    } else {
        widget->setGeometry(area->rect());
    }
    widget->show();
}

void layOut(QWidget *area)
{
    if (!area)
        return;
    if (QLayout *layout = area->layout()) {
        layout->invalidate();
        layout->activate();
    }
    area->update();
}

} // namespace PlayerArea

MediaPlayerStatus::MediaPlayerStatus(QWidget *playerArea) : QObject(playerArea)
{
    setObjectName(QStringLiteral("mediaPlayerStatus"));
}

void MediaPlayerStatus::post(const QString &message)
{
    QMetaObject::invokeMethod(this, [this, message] {
        QMetaObject::invokeMethod(this, [this, message] { emit playbackFailed(message); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

MediaPlayerStatus *MediaPlayerStatus::of(QWidget *playerArea)
{
    if (!playerArea)
        return nullptr;
    if (auto *existing = playerArea->findChild<MediaPlayerStatus *>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    return new MediaPlayerStatus(playerArea);
}
