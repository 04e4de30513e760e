#pragma once

#include "window/players/MediaPlayer.h"

class EmbeddedBrowser;
class QWidget;

// The Windows Media Player kind: an embedded browser showing a generated
// page that holds the media player object, which plays the stream.
class MediaPlayerWMP : public MediaPlayer
{
public:
    explicit MediaPlayerWMP(QWidget *parent);
    ~MediaPlayerWMP() override;
    MediaPlayerWMP(const MediaPlayerWMP &) = delete;
    MediaPlayerWMP &operator=(const MediaPlayerWMP &) = delete;

    void stop() override;
    // Lets the page's player play on after a pause.
    void play() override;
    // Pauses the page's player.
    void pause() override;
    bool isStopped() override;
    bool isPaused() override;
    // The player object's full-screen state.
    bool isFullscreen() override;
    bool isActivexControl() override;
    // Shows the player object's picture full screen, or back in the page.
    void fullscreen(bool on) override;
    void dispose() override;
    bool changeUrl(const QString &url) override;

    // The page for a stream: 46 lines, CR LF between them, the address
    // HTML-escaped into the url parameter (so that any address stays one
    // attribute value).
    static QString playerPage(const QString &url);

    EmbeddedBrowser *getBrowser() const { return browser; }
    QWidget *getComposite() const { return comp; }

private:
    EmbeddedBrowser *browser = nullptr;
    QWidget *comp = nullptr;
};
