#include "window/dialogs/DialogFrame.h"

#include <QGuiApplication>
#include <QScreen>

QPoint dialogPosition(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount, int a, int b)
{
    const QRect &bounds = monitorCount == 1 ? displayBounds : primaryBounds;
    // C++ integer division truncates toward zero, as the placement rule asks.
    return QPoint(bounds.width() / 2 - a, bounds.height() / 2 - b);
}

int monitorCount()
{
    return int(QGuiApplication::screens().size());
}

QPoint dialogPosition(int a, int b)
{
    QScreen *primary = QGuiApplication::primaryScreen();
    const QRect primaryBounds = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    const QRect displayBounds = primary ? primary->virtualGeometry() : primaryBounds;
    return dialogPosition(displayBounds, primaryBounds, monitorCount(), a, b);
}
