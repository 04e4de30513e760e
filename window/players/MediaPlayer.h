#pragma once

#include <QString>

// The operations every player in the window's player area offers. Players
// are created, called and disposed on the UI thread only; after dispose()
// a player is not used again.
class MediaPlayer
{
public:
    virtual ~MediaPlayer() = default;

    virtual void stop() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual bool isStopped() = 0;
    virtual bool isPaused() = 0;
    virtual bool isFullscreen() = 0;
    virtual bool isActivexControl() = 0;
    // true: go full screen; false: back to normal size.
    virtual void fullscreen(bool on) = 0;
    // Releases every widget and resource of the player.
    virtual void dispose() = 0;
    // Loads and plays the stream at this address; true when the address
    // was handed to the player's control.
    virtual bool changeUrl(const QString &url) = 0;
};
