#pragma once

#include <QDialog>
#include <QString>

class QProgressBar;
class QPushButton;
class QWebEngineProfile;
class QWebEngineView;

// The pay-per-view dialog: shows the service's description page of one
// movie in an embedded browser and, after Buy, the order pages for it in the
// same browser. It knows nothing of purchases: it returns the address the
// browser showed last, and the caller decides from it (isOrderVerified).
//
// Browsing rules:
// - One browser profile serves every opening of the dialog during a run: it
//   keeps nothing on disk, but its cookies (the order pages' session) live
//   until the program ends.
// - A page may close its own window: that ends the dialog, which returns the
//   page's address.
// - A link or script that asks for a new window opens its address in this
//   dialog's browser, replacing the page shown, so that the order pages never
//   escape the dialog and their last address is what the dialog returns.
//   Only requests the user started (a click) are followed, and only to http
//   and https addresses; pop-ups a page opens on its own, and pop-ups
//   without an address, are refused.
// - A server certificate that is not trusted is refused, never accepted: the
//   page does not load and the browser shows its error page.
// - A page opens no box of its own: its alerts are ignored, its confirm and
//   prompt questions are answered as cancelled, a page that asks to stay when
//   left is left all the same, and file choosers return no file. So no page,
//   however often it asks, can keep the user from Cancel.
class PpvDescriptionBrowserDialog : public QDialog
{
    Q_OBJECT

public:
    // Application-modal, with a title bar and a close box.
    PpvDescriptionBrowserDialog(QWidget *parent, int streamId);
    PpvDescriptionBrowserDialog(QWidget *parent, Qt::WindowFlags flags, int streamId);
    ~PpvDescriptionBrowserDialog() override;

    // Before openDialog: the description page's base address; "&id=" and the
    // movie's identifier are appended to it.
    virtual void setUrl(const QString &url);
    virtual void setInput(const QString &input);
    // Shows the dialog modally, loads the description page and returns, once
    // the dialog has ended (Cancel, close box, Escape, or a page closing its
    // window), the address the browser showed last.
    virtual QString openDialog();
    virtual QString getInput() const;

    int getStreamId() const { return m_streamId; }
    QWebEngineView *browser() const { return m_browser; }

    // "<base>&id=<id>"
    static QString descriptionAddress(const QString &baseUrl, int streamId);
    // The order page of a movie: the secure order address + "&videoid=" + id.
    static QString orderAddress(int streamId);
    // Whether an address the dialog returned confirms an order.
    static bool isOrderVerified(const QString &address);
    // The play path's purchase step for a movie without rental time: opens
    // the dialog on the description page of streamId (the account's
    // description address) with mainWindow's window as parent, and returns
    // whether the last address confirmed an order.
    static bool buyMovie(QWidget *mainWindow, int streamId);

    // The browser profile shared by every dialog of the run (made on first
    // use, in memory only).
    static QWebEngineProfile *profile();

    static constexpr int WIDTH = 660;
    static constexpr int HEIGHT = 720;
    static constexpr int PLACEMENT_A = 330;
    static constexpr int PLACEMENT_B = 360;

public slots:
    // The close box and Escape end the dialog like Cancel.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildContents();
    void recordAddress();
    void end();
    void buy();

    QString m_input;
    int m_streamId = 0;
    QWebEngineView *m_browser = nullptr;
    QString m_url;

    QProgressBar *m_progressBar = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_buyButton = nullptr;
    bool m_ending = false;
};
