#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The window's player area as the players see it.
namespace PlayerArea {

// Puts a player's top widget into the area: into the area's layout when it
// has one (made current in a stacked layout), else over the whole area; and
// shows it.
void place(QWidget *area, QWidget *widget);
// Lays the area out again now.
void layOut(QWidget *area);

} // namespace PlayerArea

// Reports of the players in one player area, for the window's status line.
// There is one per area, made on first use as a child of the area, so the
// window connects once and hears every player that ever plays there.
class MediaPlayerStatus : public QObject
{
    Q_OBJECT

public:
    static MediaPlayerStatus *of(QWidget *playerArea);

    // Reports a failure. It is emitted two turns of the event loop later,
    // so that it arrives after whatever the caller of the player posted in
    // the same turn (the window's own status text after a change of
    // stream), also when the player failed at once.
    void post(const QString &message);

signals:
    // A stream could not be played (unreachable, not found, not media, a
    // refused address, the player cannot start): a short text.
    void playbackFailed(const QString &message);

private:
    explicit MediaPlayerStatus(QWidget *playerArea);
};
