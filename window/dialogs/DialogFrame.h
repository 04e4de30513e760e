#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

// Dialog placement shared by every dialog: with W and H the width and height
// of the display when it has exactly one monitor, else of the primary
// monitor, the dialog's top-left corner is (W / 2 - a, H / 2 - b), halves
// truncated toward zero.
QPoint dialogPosition(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount, int a, int b);
// The same for the running application's screens.
QPoint dialogPosition(int a, int b);
// Number of monitors of the running application.
int monitorCount();
