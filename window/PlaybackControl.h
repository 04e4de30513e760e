#pragma once

#include "catalogue/StreamInfo.h"
#include "window/players/MediaPlayer.h"

#include <QString>
#include <memory>

class Gui;
class QWidget;

// The playback control of the main window: the play path from the current
// table's row to a player of the kind the stream's format needs, and the
// stop, pause and full-screen commands with the enabled states of the
// playback actions. It owns the player and knows the stream taken last and
// the stream that plays. The window owns it; it runs on the UI thread and
// reaches the window's actions, tables and status line through the window.
class PlaybackControl
{
public:
    // Player kinds, kept in currentPlayer().
    static constexpr int NONE = 0;
    static constexpr int WMP = 1;
    static constexpr int QT = 2;
    static constexpr int RP = 3;

    explicit PlaybackControl(Gui &gui);
    ~PlaybackControl();
    PlaybackControl(const PlaybackControl &) = delete;
    PlaybackControl &operator=(const PlaybackControl &) = delete;

    // The area the players show in, made by the window's layout.
    void setCompositeActivex(QWidget *area) { m_compositeActivex = area; }
    QWidget *compositeActivex() const { return m_compositeActivex; }

    void runPlay();
    void runPlayFromCurrentTable();
    void runMediaplayerInvoke();
    void runStop();
    void runPause();
    void runFullscreen();
    void runChangeUrl();
    // Hands the player url and, once the current event is done, shows the
    // outcome on the status line.
    void changeUrl(const StreamInfoPtr &stream, const QString &url);
    // The kind of player a stream format needs; NONE for a format no player
    // takes.
    static int playerKind(const QString &format);
    void setPlayEnabled(bool enabled);
    void setPauseEnabled(bool enabled);
    void setStopEnabled(bool enabled);
    void setFullscreenEnabled(bool enabled);
    // Releases the current player, if any.
    void disposePlayer();

    MediaPlayer *player() const { return m_mediaPlayer.get(); }
    int currentPlayer() const { return m_currentPlayer; }
    // The row taken last: by a play or by a report.
    const StreamInfoPtr &currentStream() const { return m_currentStream; }
    void setCurrentStream(const StreamInfoPtr &stream) { m_currentStream = stream; }
    // The stream handed to the player last, until the next stop: what
    // actually plays (currentStream is only the row taken last, also by a
    // report).
    const StreamInfoPtr &playingStream() const { return m_playingStream; }
    // Whether a new QuickTime player still gets its address a second time.
    bool qtHack() const { return m_qtHack; }

private:
    Gui &m_gui;
    std::unique_ptr<MediaPlayer> m_mediaPlayer;
    int m_currentPlayer = NONE;
    StreamInfoPtr m_currentStream;
    StreamInfoPtr m_playingStream;
    QWidget *m_compositeActivex = nullptr;
    bool m_qtHack = true;
};
