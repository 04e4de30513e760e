// Playback control: the play path from the current table's row to a player
// of the kind the stream's format needs, and the stop, pause and full-screen
// commands with the enabled states of the playback actions.
#include "window/Gui.h"

#include "catalogue/LangMsg.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsView.h"
#include "window/RecordTable.h"
#include "window/dialogs/PPVDialog.h"
#include "window/players/MediaPlayerQT.h"
#include "window/players/MediaPlayerRP.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"
#include "window/players/PlayerArea.h"

#include <QLabel>
#include <QLayout>
#include <QMetaObject>

void Gui::setPlayEnabled(bool enabled)
{
    actionPlay->setEnabled(enabled);
    actionPlayMenu->setEnabled(enabled);
}

void Gui::setPauseEnabled(bool enabled)
{
    // The menu's Pause goes with the player's, so the user can pause.
    actionPause->setEnabled(enabled);
    actionPauseMenu->setEnabled(enabled);
}

void Gui::setStopEnabled(bool enabled)
{
    actionStop->setEnabled(enabled);
    actionStopMenu->setEnabled(enabled);
}

void Gui::setFullscreenEnabled(bool enabled)
{
    actionFullscreen->setEnabled(enabled);
    actionFullscreenMenu->setEnabled(enabled);
}

int Gui::playerKind(const QString &format)
{
    if (format == QLatin1String("WMP") || format == QLatin1String("Icecast"))
        return WMP;
    if (format == QLatin1String("RM"))
        return RP;
    if (format == QLatin1String("QT"))
        return QT;
    return NONE;
}

void Gui::runPlay()
{
    actionPlayFromCurrentTable->run();
}

void Gui::runPlayFromCurrentTable()
{
    if (!currentTable || !currentTableViewer)
        return;
    const int index = currentTable->selectionIndex();
    if (index == -1)
        return;
    setPauseEnabled(true);
    currentStream = currentTableViewer->element(index);
    if (!currentStream)
        return;
    if (currentStream->getUrl().isEmpty()) {
        actionStop->run();
        return;
    }
    const auto movie = std::dynamic_pointer_cast<PPVStreamInfo>(currentStream);
    if (movie && dynamic_cast<PPVView *>(currentView) && movie->getTimeLeft() == movie->getZeroTimeLeft()) {
        // No rental time left: the movie's description and order pages
        // instead; a confirmed order loads the catalogue again (after a
        // load that runs, never dropped).
        actionStop->run();
        if (PpvDescriptionBrowserDialog::buyMovie(this, movie->getId()))
            reloadCatalogue();
        return;
    }
    actionMediaplayerInvoke->run();
}

void Gui::runMediaplayerInvoke()
{
    if (!currentStream)
        return;
    const StreamInfoPtr stream = currentStream;
    const QString url = stream->getUrl();
    if (currentPlayer == NONE)
        actionStop->run();
    const int kind = playerKind(stream->getFormat());
    if (kind == NONE)
        return;

    if (currentPlayer == kind) {
        // The idle picture left by a stop or a failed creation: make the
        // player anew.
        if (dynamic_cast<MediaPlayerStaticImage *>(mediaPlayer.get())) {
            currentPlayer = NONE;
            actionMediaplayerInvoke->run();
            return;
        }
        changeUrl(stream, url);
    } else {
        actionStop->run();
        disposePlayer();
        bool created = false;
        try {
            switch (kind) {
            case WMP:
                mediaPlayer = std::make_unique<MediaPlayerWMP>(compositeActivex);
                break;
            case RP:
                mediaPlayer = std::make_unique<MediaPlayerRP>(compositeActivex);
                break;
            case QT:
                mediaPlayer = std::make_unique<MediaPlayerQT>(compositeActivex);
                break;
            }
            created = true;
        } catch (const TulException &e) {
            showTulError(e);
            actionStop->run();
        }
        currentPlayer = kind;
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
            PlayerArea::layOut(compositeActivex);
            setFullscreenEnabled(created);
            setStopEnabled(created);
            break;
        case QT:
            PlayerArea::layOut(compositeActivex);
            changeUrl(stream, url);
            setFullscreenEnabled(false);
            setStopEnabled(created);
            // A new QuickTime player gets the address once more, after the
            // pending events; only a player that was made gets it.
            if (qtHack && created) {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        qtHack = false;
                        actionMediaplayerInvoke->run();
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
    statusLine->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_LOADEDSTREAM")) + QStringLiteral(": ") +
                        stream->getName());
}

void Gui::changeUrl(const StreamInfoPtr &stream, const QString &url)
{
    const bool ok = mediaPlayer && mediaPlayer->changeUrl(url);
    if (ok)
        playingStream = stream;
    const QString name = stream ? stream->getName() : QString();
    QMetaObject::invokeMethod(
        this,
        [this, ok, name] {
            if (ok)
                statusLine->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_LOADEDSTREAM")) +
                                    QLatin1Char(' ') + name);
            else
                statusLine->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_NOTLOADEDSTREAM")));
        },
        Qt::QueuedConnection);
}

void Gui::runChangeUrl()
{
    if (mediaPlayer && currentStream && mediaPlayer->changeUrl(currentStream->getUrl()))
        playingStream = currentStream;
}

void Gui::runStop()
{
    if (!compositeActivex)
        return;
    disposePlayer();
    playingStream.reset();
    mediaPlayer = std::make_unique<MediaPlayerStaticImage>(compositeActivex);
    PlayerArea::layOut(compositeActivex);
    setStopEnabled(false);
    setFullscreenEnabled(false);
    setPauseEnabled(false);
    mediaPlayer->stop();
    setPlayEnabled(true);
    qtHack = true;
}

void Gui::runPause()
{
    if (mediaPlayer)
        mediaPlayer->pause();
    setPauseEnabled(false);
}

void Gui::runFullscreen()
{
    if (!mediaPlayer)
        return;
    mediaPlayer->fullscreen(!mediaPlayer->isFullscreen());
}

void Gui::disposePlayer()
{
    if (mediaPlayer) {
        mediaPlayer->dispose();
        mediaPlayer.reset();
    }
}
