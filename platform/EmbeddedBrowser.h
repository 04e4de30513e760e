#pragma once

#include "platform/MediaPage.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class FullScreenHost;
class MiniControlBar;
class MpvWidget;

// The browser that shows a media page: it takes the page as text, finds the
// Windows Media Player object in it and plays that object's stream itself,
// on the page's black background, sized as the page's script sizes it.
// Everything else of the page is not shown. Each page replaces the one
// before it, player object included.
//
// The object's parameters: url (the stream; http, https, mms, mmsh, rtsp and
// rtmp only), autoStart, uiMode ("mini" and "full": a control bar under the
// picture; "none": the picture alone; "invisible": nothing shown),
// stretchToFit (scale small pictures up) and PlayCount (plays in a row).
class EmbeddedBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit EmbeddedBrowser(QWidget *parent = nullptr);
    ~EmbeddedBrowser() override;

    // Shows a page; true when it was taken (always, for a page given as
    // text).
    bool setText(const QString &html);
    QString text() const { return m_html; }
    // Stops what the page plays.
    void stop();
    // Pauses the page's player, and lets it play on (as its control bar's
    // buttons do).
    void pause();
    void play();

    const MediaPage &page() const { return m_page; }
    // The player object's area (picture and control bar) and its parts;
    // null while the page has no player object.
    QWidget *playerArea() const { return m_area; }
    MpvWidget *playerVideo() const { return m_video; }
    MiniControlBar *playerControls() const { return m_controls; }
    // The last failure of the page's player; empty when none.
    QString lastError() const { return m_lastError; }

    // The player's full-screen switch.
    bool isPlayerFullScreen() const;
    void setPlayerFullScreen(bool on);

    // Where the page puts its player object inside a page of this size.
    QRect playerGeometry(const QSize &pageSize) const;

signals:
    void playbackFailed(const QString &message);
    void fullScreenChanged(bool fullScreen);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void clearPlayer();
    void createPlayer();
    void reportFailure(const QString &message);

    QString m_html;
    MediaPage m_page;
    QPointer<QWidget> m_area;
    MpvWidget *m_video = nullptr;
    MiniControlBar *m_controls = nullptr;
    FullScreenHost *m_fullScreen = nullptr;
    QString m_lastError;
};
