// Playback control: the play path from the current table's row to a player
// of the kind the stream's format needs, and the stop, pause and full-screen
// commands with the enabled states of the playback actions.
#include "window/PlaybackControl.h"

#include "catalogue/LangMsg.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsView.h"
#include "window/Gui.h"
#include "window/RecordTable.h"
#include "window/dialogs/PPVDialog.h"
#include "window/dialogs/PlainText.h"
#include "window/players/MediaPlayerQT.h"
#include "window/players/MediaPlayerRP.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"
#include "window/players/PlayerArea.h"

#include <QLabel>
#include <QLayout>
#include <QMetaObject>

PlaybackControl::PlaybackControl(Gui &gui) : m_gui(gui)
{
}

PlaybackControl::~PlaybackControl() = default;

void PlaybackControl::setPlayEnabled(bool enabled)
{
    m_gui.actionPlay->setEnabled(enabled);
    m_gui.actionPlayMenu->setEnabled(enabled);
}

void PlaybackControl::setPauseEnabled(bool enabled)
{
    // The menu's Pause goes with the player's, so the user can pause.
    m_gui.actionPause->setEnabled(enabled);
    m_gui.actionPauseMenu->setEnabled(enabled);
}

void PlaybackControl::setStopEnabled(bool enabled)
{
    m_gui.actionStop->setEnabled(enabled);
    m_gui.actionStopMenu->setEnabled(enabled);
}

void PlaybackControl::setFullscreenEnabled(bool enabled)
{
    m_gui.actionFullscreen->setEnabled(enabled);
    m_gui.actionFullscreenMenu->setEnabled(enabled);
}

int PlaybackControl::playerKind(const QString &format)
{
    if (format == QLatin1String("WMP") || format == QLatin1String("Icecast"))
        return WMP;
    if (format == QLatin1String("RM"))
        return RP;
    if (format == QLatin1String("QT"))
        return QT;
    return NONE;
}

void PlaybackControl::runPlay()
{
    m_gui.actionPlayFromCurrentTable->run();
}

void PlaybackControl::runPlayFromCurrentTable()
{
    if (!m_gui.currentTable || !m_gui.currentTableViewer)
        return;
    const int index = m_gui.currentTable->selectionIndex();
    if (index == -1)
        return;
    setPauseEnabled(true);
    m_currentStream = m_gui.currentTableViewer->element(index);
    if (!m_currentStream)
        return;
    if (m_currentStream->getUrl().isEmpty()) {
        m_gui.actionStop->run();
        return;
    }
    const auto movie = std::dynamic_pointer_cast<PPVStreamInfo>(m_currentStream);
    if (movie && dynamic_cast<PPVView *>(m_gui.currentView) && movie->getTimeLeft() == movie->getZeroTimeLeft()) {
        // No rental time left: the movie's description and order pages
        // instead; a confirmed order loads the catalogue again (after a
        // load that runs, never dropped).
        m_gui.actionStop->run();
        if (PpvDescriptionBrowserDialog::buyMovie(&m_gui, movie->getId()))
            m_gui.reloadCatalogue();
        return;
    }
    m_gui.actionMediaplayerInvoke->run();
}

void PlaybackControl::runMediaplayerInvoke()
{
    if (!m_currentStream)
        return;
    const StreamInfoPtr stream = m_currentStream;
    const QString url = stream->getUrl();
    if (m_currentPlayer == NONE)
        m_gui.actionStop->run();
    const int kind = playerKind(stream->getFormat());
    if (kind == NONE)
        return;

    if (m_currentPlayer == kind) {
        // The idle picture left by a stop or a failed creation: make the
        // player anew.
        if (dynamic_cast<MediaPlayerStaticImage *>(m_mediaPlayer.get())) {
            m_currentPlayer = NONE;
            m_gui.actionMediaplayerInvoke->run();
            return;
        }
        changeUrl(stream, url);
    } else {
        m_gui.actionStop->run();
        disposePlayer();
        bool created = false;
        try {
            switch (kind) {
            case WMP:
                m_mediaPlayer = std::make_unique<MediaPlayerWMP>(m_compositeActivex);
                break;
            case RP:
                m_mediaPlayer = std::make_unique<MediaPlayerRP>(m_compositeActivex);
                break;
            case QT:
                m_mediaPlayer = std::make_unique<MediaPlayerQT>(m_compositeActivex);
                break;
            }
            created = true;
        } catch (const TulException &e) {
            m_gui.showTulError(e);
            m_gui.actionStop->run();
        }
        m_currentPlayer = kind;
        // A player that could not be made leaves the idle picture, which
        // has nothing to stop or to show full screen: Stop and Full screen
        // stay disabled then.
        switch (kind) {
        case WMP:
            changeUrl(stream, url);
            setFullscreenEnabled(created);
            setStopEnabled(created);
            break;
        case RP:
            changeUrl(stream, url);
            PlayerArea::layOut(m_compositeActivex);
            setFullscreenEnabled(created);
            setStopEnabled(created);
            break;
        case QT:
            PlayerArea::layOut(m_compositeActivex);
            changeUrl(stream, url);
            setFullscreenEnabled(false);
            setStopEnabled(created);
            // A new QuickTime player gets the address once more, after the
            // pending events; only a player that was made gets it.
            if (m_qtHack && created) {
                QMetaObject::invokeMethod(
                    &m_gui,
                    [this] {
                        m_qtHack = false;
                        m_gui.actionMediaplayerInvoke->run();
                    },
                    Qt::QueuedConnection);
            }
            break;
        }
        // The stop on the way to the new player took Pause away; a player
        // that was made can be paused.
        if (created)
            setPauseEnabled(true);
    }
    setShownText(m_gui.statusLine,
                 LangMsg::getMsg(QStringLiteral("STATUSLINE_LOADEDSTREAM")) + QStringLiteral(": ") + stream->getName());
}

void PlaybackControl::changeUrl(const StreamInfoPtr &stream, const QString &url)
{
    const bool ok = m_mediaPlayer && m_mediaPlayer->changeUrl(url);
    if (ok)
        m_playingStream = stream;
    const QString name = stream ? shownText(stream->getName()) : QString();
    QMetaObject::invokeMethod(
        &m_gui,
        [this, ok, name] {
            if (ok)
                m_gui.statusLine->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_LOADEDSTREAM")) +
                                          QLatin1Char(' ') + name);
            else
                m_gui.statusLine->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_NOTLOADEDSTREAM")));
        },
        Qt::QueuedConnection);
}

void PlaybackControl::runChangeUrl()
{
    if (m_mediaPlayer && m_currentStream && m_mediaPlayer->changeUrl(m_currentStream->getUrl()))
        m_playingStream = m_currentStream;
}

void PlaybackControl::runStop()
{
    if (!m_compositeActivex)
        return;
    disposePlayer();
    m_playingStream.reset();
    m_mediaPlayer = std::make_unique<MediaPlayerStaticImage>(m_compositeActivex);
    PlayerArea::layOut(m_compositeActivex);
    setStopEnabled(false);
    setFullscreenEnabled(false);
    setPauseEnabled(false);
    m_mediaPlayer->stop();
    setPlayEnabled(true);
    m_qtHack = true;
}

void PlaybackControl::runPause()
{
    if (m_mediaPlayer)
        m_mediaPlayer->pause();
    setPauseEnabled(false);
}

void PlaybackControl::runFullscreen()
{
    if (!m_mediaPlayer)
        return;
    m_mediaPlayer->fullscreen(!m_mediaPlayer->isFullscreen());
}

void PlaybackControl::disposePlayer()
{
    if (m_mediaPlayer) {
        m_mediaPlayer->dispose();
        m_mediaPlayer.reset();
    }
}
