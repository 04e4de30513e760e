#pragma once

#include <QObject>
#include <QSize>
#include <QString>

struct mpv_handle;
struct mpv_event;
struct mpv_node;

// One libmpv player core, driven from the UI thread. Every request is sent
// asynchronously and the core's events come back to the UI thread through
// the wakeup callback and a queued call, so no call here waits for the
// core. The engine never opens an address that StreamAddress refuses and
// runs without yt-dlp, without terminal output and without the user's mpv
// configuration.
class MpvEngine : public QObject
{
    Q_OBJECT

public:
    // Where the pictures go: Render for the render API (a MpvWidget draws
    // them with OpenGL), None to decode without showing (no display).
    enum class VideoOutput { Render, None };
    // The playback state as the controls show it: commands change it at
    // once, the core's events bring it up to date.
    enum class State { Stopped, Loading, Playing, Paused };
    Q_ENUM(State)
    enum class EndReason { Eof, Stop, Error, Quit, Redirect, Unknown };
    Q_ENUM(EndReason)

    explicit MpvEngine(VideoOutput output, QObject *parent = nullptr);
    ~MpvEngine() override;
    MpvEngine(const MpvEngine &) = delete;
    MpvEngine &operator=(const MpvEngine &) = delete;

    // Creates and initialises the core; false (with errorString()) when it
    // cannot. Needs a QCoreApplication. Fails at once while the environment
    // variable QUORVANTEL_MPV_DISABLE is set to a non-empty value other
    // than "0" (to try the players' failure paths).
    bool start();
    bool isStarted() const { return m_mpv != nullptr; }
    QString errorString() const { return m_errorString; }

    // Opens an address (replacing what plays). Refused addresses play
    // nothing: the engine stops, keeps the message in lastError() and emits
    // playbackFailed; the result is then false.
    bool load(const QString &address, bool paused = false);
    // Resumes; when stopped or at the end, opens the last address again.
    void play();
    void pause();
    void stop();

    // How many times a file plays in a row (1 = once; values below 1 count
    // as 1). Applies to the current and to later files.
    void setPlayCount(int count);
    int playCount() const { return m_playCount; }
    // Keep the picture's aspect ratio (true) or stretch it to the area.
    void setKeepAspect(bool keep);
    // Scale small pictures up to the area (true) or show them at their own
    // size, larger ones still scaled down.
    void setScaleUp(bool scaleUp);
    // Any other mpv property, sent as text (for example "speed").
    void setEngineProperty(const QString &name, const QString &value);

    State state() const { return m_state; }
    bool isIdle() const { return m_idle; }
    bool isPaused() const { return m_paused; }
    // Seconds into the current file; negative when unknown.
    double timePos() const { return m_timePos; }
    // Seconds; negative when unknown (live streams).
    double duration() const { return m_duration; }
    // The picture's display size; 0 x 0 without video.
    QSize videoSize() const { return QSize(m_videoWidth, m_videoHeight); }
    // The address last given to load, as given.
    QString address() const { return m_address; }
    // The text of the last failure (empty after a successful start).
    QString lastError() const { return m_lastError; }

    // Audio output for cores started from now on. Default: the environment
    // variable QUORVANTEL_MPV_AO, else "auto"; without a sound device the
    // core goes on with the null output.
    static void setAudioOutput(const QString &name);
    static QString audioOutput();

    // Stops every core that is still shutting down (called at exit).
    static void waitForShutdowns();

    // For the render widget: the core handle (null before start()).
    mpv_handle *handle() const { return m_mpv; }
    // Loads wait while held: the render widget holds them until its render
    // context exists, so that the first frames have somewhere to go.
    void setLoadsHeld(bool held);
    bool loadsHeld() const { return m_loadsHeld; }
    // Whether pictures have somewhere to go. Without, files open without
    // video (a core with no render context would give up on them); when it
    // comes back, the picture of the current file is switched on again.
    void setVideoAvailable(bool available);
    bool isVideoAvailable() const { return m_videoAvailable; }

signals:
    void stateChanged(MpvEngine::State state);
    void idleChanged(bool idle);
    void pausedChanged(bool paused);
    void timePosChanged(double seconds);
    void durationChanged(double seconds);
    void fileLoaded();
    // The current file ended; error holds the core's text for Error.
    void endFile(MpvEngine::EndReason reason, const QString &error);
    // Playback could not start or broke off: a short text for the user.
    void playbackFailed(const QString &message);
    // A picture size is known (or video went away: 0 x 0).
    void videoSizeChanged(int width, int height);

private:
    void drainEvents();
    bool handleEvent(const mpv_event &event);
    void setState(State state);
    void sendLoad();
    void setFlag(const char *name, bool value);
    void setText(const char *name, const QString &value);
    void fail(const QString &message);
    void readTrackList(const mpv_node &trackList);
    void restoreVideo();

    mpv_handle *m_mpv = nullptr;
    VideoOutput m_output;
    QString m_errorString;

    State m_state = State::Stopped;
    bool m_idle = true;
    bool m_paused = false;
    double m_timePos = -1;
    double m_duration = -1;
    int m_videoWidth = 0;
    int m_videoHeight = 0;
    QString m_address;
    QString m_lastError;
    int m_playCount = 1;

    bool m_loadsHeld = false;
    bool m_videoAvailable = true;
    bool m_keepAspect = true;
    bool m_scaleUp = true;
    qint64 m_videoTrack = -1;
    qint64 m_firstVideoTrack = -1;
    // Switch the picture on when a renderer and a video track are there.
    bool m_restoreVideo = false;
    bool m_loadPending = false;
    bool m_pendingPaused = false;

    // Which playlist entry is ours: the reply to our loadfile names it; a
    // playlist that expands hands it on to its first inserted entry.
    quint64 m_loadSerial = 0;
    qint64 m_entryId = -1;
    qint64 m_startedId = -1;
    bool m_loadedCurrent = false;

    // Wakeups are coalesced: one queued call drains every waiting event.
    struct Wakeup;
    Wakeup *m_wakeup = nullptr;
};
