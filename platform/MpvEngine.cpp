#include "platform/MpvEngine.h"

#include "platform/StreamAddress.h"

#include <QCoreApplication>
#include <QPointer>

#include <mpv/client.h>

#include <atomic>
#include <clocale>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Property observers, by reply id.
enum Observed : quint64 {
    ObsIdle = 1,
    ObsPause,
    ObsTimePos,
    ObsDuration,
    ObsWidth,
    ObsHeight,
    ObsVideoTrack,
    ObsTrackList,
};

// Replies to our loadfile commands carry this tag and the load's serial.
constexpr quint64 kLoadTag = quint64(1) << 40;

QString &configuredAudioOutput()
{
    static QString name;
    return name;
}

// Cores shut down on threads of their own, so that disposing a player never
// waits for a core that is still closing a connection.
struct Shutdowns
{
    struct Entry
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex mutex;
    std::vector<Entry> entries;

    ~Shutdowns() { joinAll(); }

    void add(mpv_handle *mpv)
    {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([mpv, done] {
            mpv_terminate_destroy(mpv);
            done->store(true);
        });
        std::lock_guard lock(mutex);
        // Collect the ones that have finished meanwhile.
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = entries.erase(it);
            } else {
                ++it;
            }
        }
        entries.push_back({std::move(thread), std::move(done)});
    }

    void joinAll()
    {
        std::vector<Entry> pending;
        {
            std::lock_guard lock(mutex);
            pending.swap(entries);
        }
        for (Entry &entry : pending)
            entry.thread.join();
    }
};

Shutdowns &shutdowns()
{
    static Shutdowns instance;
    return instance;
}

QString endReasonText(int error)
{
    const char *text = mpv_error_string(error);
    return text ? QString::fromUtf8(text) : QStringLiteral("playback failed");
}

} // namespace

struct MpvEngine::Wakeup
{
    MpvEngine *engine;
    std::atomic<bool> posted{false};

    static void callback(void *data)
    {
        auto *self = static_cast<Wakeup *>(data);
        if (!self->posted.exchange(true))
            QMetaObject::invokeMethod(self->engine, [engine = self->engine] { engine->drainEvents(); }, Qt::QueuedConnection);
    }
};

MpvEngine::MpvEngine(VideoOutput output, QObject *parent) : QObject(parent), m_output(output)
{
}

MpvEngine::~MpvEngine()
{
    if (m_mpv) {
        // No callback runs once this returns; then the core may close down
        // on its own.
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        shutdowns().add(m_mpv);
        m_mpv = nullptr;
    }
    delete m_wakeup;
}

void MpvEngine::setAudioOutput(const QString &name)
{
    configuredAudioOutput() = name;
}

QString MpvEngine::audioOutput()
{
    if (!configuredAudioOutput().isEmpty())
        return configuredAudioOutput();
    const QString fromEnvironment = qEnvironmentVariable("QUORVANTEL_MPV_AO").trimmed();
    return fromEnvironment.isEmpty() ? QStringLiteral("auto") : fromEnvironment;
}

void MpvEngine::waitForShutdowns()
{
    shutdowns().joinAll();
}

bool MpvEngine::start()
{
    if (m_mpv)
        return true;
    const QString disabled = qEnvironmentVariable("QUORVANTEL_MPV_DISABLE");
    if (!disabled.isEmpty() && disabled != QLatin1String("0")) {
        m_errorString = QStringLiteral("the media engine is switched off (QUORVANTEL_MPV_DISABLE)");
        return false;
    }
    if (!QCoreApplication::instance()) {
        m_errorString = QStringLiteral("the media engine needs a running application");
        return false;
    }
    static std::once_flag exitHook;
    std::call_once(exitHook, [] { qAddPostRoutine(&MpvEngine::waitForShutdowns); });

    // The core refuses to start unless numbers are formatted the C way; the
    // application object may have set the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    mpv_handle *mpv = mpv_create();
    if (!mpv) {
        m_errorString = QStringLiteral("the media engine could not be created");
        return false;
    }

    auto option = [mpv](const char *name, const QString &value) {
        return mpv_set_option_string(mpv, name, value.toUtf8().constData()) >= 0;
    };
    // Options the core may lack (built without scripting, say) are skipped.
    option("terminal", QStringLiteral("no"));
    option("config", QStringLiteral("no"));
    option("ytdl", QStringLiteral("no"));
    option("load-scripts", QStringLiteral("no"));
    option("osc", QStringLiteral("no"));
    option("input-default-bindings", QStringLiteral("no"));
    option("input-vo-keyboard", QStringLiteral("no"));
    option("osd-level", QStringLiteral("0"));
    option("idle", QStringLiteral("yes"));
    option("force-window", QStringLiteral("no"));
    option("keep-open", QStringLiteral("no"));
    option("audio-display", QStringLiteral("no"));
    option("network-timeout", QStringLiteral("20"));
    option("hwdec", QStringLiteral("no"));
    option("video-timing-offset", QStringLiteral("0"));
    option("audio-fallback-to-null", QStringLiteral("yes"));
    option("keepaspect", m_keepAspect ? QStringLiteral("yes") : QStringLiteral("no"));
    option("video-unscaled", m_scaleUp ? QStringLiteral("no") : QStringLiteral("downscale-big"));
    option("loop-file", m_playCount > 1 ? QString::number(m_playCount - 1) : QStringLiteral("no"));
    const QString video = m_output == VideoOutput::Render ? QStringLiteral("libmpv") : QStringLiteral("null");
    if (!option("vo", video)) {
        mpv_terminate_destroy(mpv);
        m_errorString = QStringLiteral("the media engine has no video output \"%1\"").arg(video);
        return false;
    }
    if (!option("ao", audioOutput()))
        option("ao", QStringLiteral("null"));

    m_wakeup = new Wakeup{this};
    mpv_set_wakeup_callback(mpv, &Wakeup::callback, m_wakeup);
    mpv_observe_property(mpv, ObsIdle, "idle-active", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, ObsPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, ObsTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, ObsDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, ObsWidth, "dwidth", MPV_FORMAT_INT64);
    mpv_observe_property(mpv, ObsHeight, "dheight", MPV_FORMAT_INT64);
    mpv_observe_property(mpv, ObsVideoTrack, "current-tracks/video/id", MPV_FORMAT_INT64);
    mpv_observe_property(mpv, ObsTrackList, "track-list", MPV_FORMAT_NODE);

    const int initialised = mpv_initialize(mpv);
    if (initialised < 0) {
        mpv_set_wakeup_callback(mpv, nullptr, nullptr);
        mpv_terminate_destroy(mpv);
        delete m_wakeup;
        m_wakeup = nullptr;
        m_errorString = QStringLiteral("the media engine could not start: %1").arg(endReasonText(initialised));
        return false;
    }
    m_mpv = mpv;
    m_errorString.clear();
    if (m_loadPending && !m_loadsHeld)
        sendLoad();
    return true;
}

void MpvEngine::setFlag(const char *name, bool value)
{
    if (!m_mpv)
        return;
    int flag = value ? 1 : 0;
    mpv_set_property_async(m_mpv, 0, name, MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setText(const char *name, const QString &value)
{
    if (!m_mpv)
        return;
    const QByteArray bytes = value.toUtf8();
    const char *data = bytes.constData();
    mpv_set_property_async(m_mpv, 0, name, MPV_FORMAT_STRING, &data);
}

void MpvEngine::setEngineProperty(const QString &name, const QString &value)
{
    setText(name.toUtf8().constData(), value);
}

void MpvEngine::setPlayCount(int count)
{
    m_playCount = count < 1 ? 1 : count;
    setText("loop-file", m_playCount > 1 ? QString::number(m_playCount - 1) : QStringLiteral("no"));
}

void MpvEngine::setKeepAspect(bool keep)
{
    m_keepAspect = keep;
    setFlag("keepaspect", keep);
}

void MpvEngine::setScaleUp(bool scaleUp)
{
    m_scaleUp = scaleUp;
    setText("video-unscaled", scaleUp ? QStringLiteral("no") : QStringLiteral("downscale-big"));
}

void MpvEngine::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void MpvEngine::fail(const QString &message)
{
    m_lastError = message;
    emit playbackFailed(message);
}

bool MpvEngine::load(const QString &address, bool paused)
{
    m_address = address;
    QString reason;
    if (!StreamAddress::isAccepted(address, &reason)) {
        m_loadPending = false;
        m_entryId = -1;
        if (m_mpv) {
            const char *command[] = {"stop", nullptr};
            mpv_command_async(m_mpv, 0, command);
        }
        setState(State::Stopped);
        fail(QStringLiteral("Could not play the stream: %1").arg(reason));
        return false;
    }
    m_lastError.clear();
    m_pendingPaused = paused;
    m_loadPending = true;
    setState(paused ? State::Paused : State::Loading);
    if (m_mpv && !m_loadsHeld)
        sendLoad();
    return true;
}

void MpvEngine::sendLoad()
{
    m_loadPending = false;
    setFlag("pause", m_pendingPaused);
    const QByteArray url = StreamAddress::engineAddress(m_address).toUtf8();
    const char *command[] = {"loadfile", url.constData(), "replace", m_videoAvailable ? "vid=auto" : "vid=no", nullptr};
    ++m_loadSerial;
    m_entryId = -1;
    m_loadedCurrent = false;
    m_videoTrack = -1;
    m_firstVideoTrack = -1;
    m_restoreVideo = !m_videoAvailable;
    mpv_command_async(m_mpv, kLoadTag | m_loadSerial, command);
}

void MpvEngine::setLoadsHeld(bool held)
{
    m_loadsHeld = held;
    if (!held && m_loadPending && m_mpv)
        sendLoad();
}

void MpvEngine::setVideoAvailable(bool available)
{
    if (available == m_videoAvailable)
        return;
    m_videoAvailable = available;
    if (!m_mpv || m_state == State::Stopped)
        return;
    if (!available) {
        // The picture goes with the renderer; it comes back with the next.
        m_restoreVideo = true;
        return;
    }
    restoreVideo();
}

void MpvEngine::restoreVideo()
{
    if (!m_restoreVideo || !m_videoAvailable || !m_mpv || m_state == State::Stopped)
        return;
    // The track shown before, else the file's first video track; without
    // either the file has not told its tracks yet (the track list brings
    // them) or has no picture.
    const qint64 track = m_videoTrack >= 0 ? m_videoTrack : m_firstVideoTrack;
    if (track < 0)
        return;
    m_restoreVideo = false;
    // A renderer being freed waits until the core has let go of the
    // picture, so this request comes after that.
    setText("vid", QString::number(track));
}

void MpvEngine::readTrackList(const mpv_node &trackList)
{
    m_firstVideoTrack = -1;
    if (trackList.format != MPV_FORMAT_NODE_ARRAY)
        return;
    for (int i = 0; i < trackList.u.list->num; ++i) {
        const mpv_node &track = trackList.u.list->values[i];
        if (track.format != MPV_FORMAT_NODE_MAP)
            continue;
        qint64 id = -1;
        bool video = false;
        bool albumArt = false;
        const mpv_node_list *fields = track.u.list;
        for (int k = 0; k < fields->num; ++k) {
            const char *key = fields->keys[k];
            const mpv_node &value = fields->values[k];
            if (qstrcmp(key, "id") == 0 && value.format == MPV_FORMAT_INT64)
                id = value.u.int64;
            else if (qstrcmp(key, "type") == 0 && value.format == MPV_FORMAT_STRING)
                video = qstrcmp(value.u.string, "video") == 0;
            else if (qstrcmp(key, "albumart") == 0 && value.format == MPV_FORMAT_FLAG)
                albumArt = value.u.flag != 0;
        }
        if (video && !albumArt && id >= 0) {
            m_firstVideoTrack = id;
            return;
        }
    }
}

void MpvEngine::play()
{
    switch (m_state) {
    case State::Stopped:
        if (!m_address.isEmpty())
            load(m_address, false);
        break;
    case State::Paused:
        m_pendingPaused = false;
        setFlag("pause", false);
        setState(m_loadPending || (m_entryId >= 0 && !m_loadedCurrent) ? State::Loading : State::Playing);
        break;
    case State::Loading:
    case State::Playing:
        m_pendingPaused = false;
        setFlag("pause", false);
        break;
    }
}

void MpvEngine::pause()
{
    if (m_state == State::Stopped || m_state == State::Paused)
        return;
    m_pendingPaused = true;
    setFlag("pause", true);
    setState(State::Paused);
}

void MpvEngine::stop()
{
    m_loadPending = false;
    m_entryId = -1;
    m_lastError.clear();
    if (m_mpv) {
        const char *command[] = {"stop", nullptr};
        mpv_command_async(m_mpv, 0, command);
    }
    setState(State::Stopped);
}

void MpvEngine::drainEvents()
{
    if (m_wakeup)
        m_wakeup->posted.store(false);
    QPointer<MpvEngine> self(this);
    while (self && m_mpv) {
        const mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            break;
        if (!handleEvent(*event))
            break;
    }
}

// Returns false when this engine should stop draining (the core shut down).
bool MpvEngine::handleEvent(const mpv_event &event)
{
    QPointer<MpvEngine> self(this);
    switch (event.event_id) {
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        const bool has = property->data != nullptr;
        switch (event.reply_userdata) {
        case ObsIdle: {
            const bool idle = has && property->format == MPV_FORMAT_FLAG && *static_cast<int *>(property->data);
            if (idle != m_idle) {
                m_idle = idle;
                emit idleChanged(idle);
            }
            break;
        }
        case ObsPause: {
            const bool paused = has && property->format == MPV_FORMAT_FLAG && *static_cast<int *>(property->data);
            if (paused != m_paused) {
                m_paused = paused;
                emit pausedChanged(paused);
            }
            break;
        }
        case ObsTimePos: {
            const double pos = has && property->format == MPV_FORMAT_DOUBLE ? *static_cast<double *>(property->data) : -1.0;
            if (pos != m_timePos) {
                m_timePos = pos;
                emit timePosChanged(pos);
            }
            break;
        }
        case ObsDuration: {
            const double length = has && property->format == MPV_FORMAT_DOUBLE ? *static_cast<double *>(property->data) : -1.0;
            if (length != m_duration) {
                m_duration = length;
                emit durationChanged(length);
            }
            break;
        }
        case ObsWidth:
        case ObsHeight: {
            const int value = has && property->format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t *>(property->data)) : 0;
            int &field = event.reply_userdata == ObsWidth ? m_videoWidth : m_videoHeight;
            if (value != field) {
                field = value;
                emit videoSizeChanged(m_videoWidth, m_videoHeight);
            }
            break;
        }
        case ObsVideoTrack:
            if (has && property->format == MPV_FORMAT_INT64) {
                m_videoTrack = *static_cast<int64_t *>(property->data);
            } else if (m_videoTrack >= 0 && m_state != State::Stopped) {
                // The picture went away while the file plays on: the
                // renderer was replaced meanwhile.
                m_restoreVideo = true;
                restoreVideo();
            }
            break;
        case ObsTrackList:
            if (has && property->format == MPV_FORMAT_NODE)
                readTrackList(*static_cast<const mpv_node *>(property->data));
            else
                m_firstVideoTrack = -1;
            restoreVideo();
            break;
        default:
            break;
        }
        break;
    }
    case MPV_EVENT_COMMAND_REPLY: {
        if (event.reply_userdata != (kLoadTag | m_loadSerial))
            break;
        if (event.error < 0) {
            if (m_state != State::Stopped) {
                setState(State::Stopped);
                if (self)
                    fail(QStringLiteral("Could not play the stream: %1").arg(endReasonText(event.error)));
            }
            break;
        }
        const auto *reply = static_cast<const mpv_event_command *>(event.data);
        if (reply && reply->result.format == MPV_FORMAT_NODE_MAP) {
            const mpv_node_list *map = reply->result.u.list;
            for (int i = 0; i < map->num; ++i) {
                if (qstrcmp(map->keys[i], "playlist_entry_id") == 0 && map->values[i].format == MPV_FORMAT_INT64)
                    m_entryId = map->values[i].u.int64;
            }
        }
        break;
    }
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        m_startedId = start ? start->playlist_entry_id : -1;
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        if (m_entryId >= 0 && m_startedId == m_entryId) {
            m_loadedCurrent = true;
            restoreVideo();
            if (m_state == State::Loading)
                setState(m_pendingPaused ? State::Paused : State::Playing);
            if (self)
                emit fileLoaded();
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (!end || m_entryId < 0 || end->playlist_entry_id != m_entryId)
            break;
        EndReason reason = EndReason::Unknown;
        QString error;
        switch (end->reason) {
        case MPV_END_FILE_REASON_EOF: reason = EndReason::Eof; break;
        case MPV_END_FILE_REASON_STOP: reason = EndReason::Stop; break;
        case MPV_END_FILE_REASON_QUIT: reason = EndReason::Quit; break;
        case MPV_END_FILE_REASON_ERROR:
            reason = EndReason::Error;
            error = endReasonText(end->error);
            break;
        case MPV_END_FILE_REASON_REDIRECT: reason = EndReason::Redirect; break;
        }
        if (reason == EndReason::Redirect && end->playlist_insert_num_entries > 0) {
            // A playlist: its first entry plays on as ours.
            m_entryId = end->playlist_insert_id;
            m_loadedCurrent = false;
        } else if (reason == EndReason::Eof || reason == EndReason::Error || reason == EndReason::Redirect) {
            m_entryId = -1;
            setState(State::Stopped);
        }
        if (self)
            emit endFile(reason, error);
        if (self && reason == EndReason::Error)
            fail(QStringLiteral("Could not play the stream: %1").arg(error));
        break;
    }
    case MPV_EVENT_SHUTDOWN:
        return false;
    default:
        break;
    }
    return bool(self);
}
