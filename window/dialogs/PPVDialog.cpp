#include "window/dialogs/PPVDialog.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/DialogFrame.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QUuid>
#include <QWebEngineCertificateError>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <functional>
#include <utility>

namespace {
constexpr int COLUMNS = 8;
const QString ORDER_VERIFIED_MARKER = QStringLiteral("ppvorder_verify");

// The question the web engine asks through javaScriptConfirm when a page's
// before-unload handler wants the user to stay.
QString leavePageQuestion()
{
    return QCoreApplication::translate("QWebEnginePage",
                                       "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

// The web engine lets a script close only a window that a script opened, or
// one that has shown a single page; the order pages come after the
// description page, so their "close this window" would do nothing. Each page
// of the dialog therefore gets its own window.close(), which hands the
// request to the dialog through a console message carrying a token of this
// page.
//
// A page never opens a window of its own: the web engine would show its
// script dialogs (alert, confirm, prompt, the before-unload question) and
// file choosers as modal boxes in front of the dialog, and a page asking for
// them without end would keep the user from Cancel and from the rest of the
// program. Each is answered at once instead, as a user would who dismissed it:
// an alert is ignored, confirm and prompt are cancelled, a page may always be
// left, and a file chooser returns no file.
class DialogPage : public QWebEnginePage
{
public:
    DialogPage(QWebEngineProfile *profile, QObject *parent, std::function<void()> closeRequested)
        : QWebEnginePage(profile, parent),
          m_token(QStringLiteral("quorvantel-close-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
          m_closeRequested(std::move(closeRequested))
    {
        QWebEngineScript script;
        script.setName(QStringLiteral("window-close"));
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setRunsOnSubFrames(false);
        script.setSourceCode(QStringLiteral("(function () { var token = '%1';"
                                            " window.close = function () { console.info(token); }; })();")
                                 .arg(m_token));
        scripts().insert(script);
    }

protected:
    void javaScriptAlert(const QUrl &, const QString &) override {}

    bool javaScriptConfirm(const QUrl &, const QString &message) override
    {
        // The before-unload question comes here too: the answer lets the page
        // go. A page's own confirm() with the very same text is answered yes,
        // which shows nothing either.
        return message == leavePageQuestion();
    }

    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return false; }

    QStringList chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) override { return {}; }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceId) override
    {
        if (message == m_token) {
            if (m_closeRequested)
                m_closeRequested();
            return;
        }
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceId);
    }

private:
    QString m_token;
    std::function<void()> m_closeRequested;
};
} // namespace

PpvDescriptionBrowserDialog::PpvDescriptionBrowserDialog(QWidget *parent, int streamId)
    : PpvDescriptionBrowserDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, streamId)
{
}

PpvDescriptionBrowserDialog::PpvDescriptionBrowserDialog(QWidget *parent, Qt::WindowFlags flags, int streamId)
    : QDialog(parent, flags), m_streamId(streamId)
{
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(LangMsg::getMsg(QStringLiteral("BROWSER_DIALOG_BUY_MOVIE")));
    buildContents();
}

// The page is a child of the view and goes with the dialog; the profile
// stays for the next dialog.
PpvDescriptionBrowserDialog::~PpvDescriptionBrowserDialog() = default;

QWebEngineProfile *PpvDescriptionBrowserDialog::profile()
{
    static QPointer<QWebEngineProfile> shared;
    if (!shared) {
        // No storage name: an off-the-record profile, whose cookies and cache
        // live in memory until the program ends.
        shared = new QWebEngineProfile(QCoreApplication::instance());
        shared->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        shared->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        // Pop-ups only on the user's request (a click); see newWindowRequested.
        shared->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    }
    return shared;
}

void PpvDescriptionBrowserDialog::buildContents()
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    for (int column = 0; column < COLUMNS; ++column)
        layout->setColumnStretch(column, 1);

    m_browser = new QWebEngineView(this);
    m_browser->setObjectName(QStringLiteral("browser"));
    auto *page = new DialogPage(profile(), m_browser, [this] {
        QMetaObject::invokeMethod(this, &PpvDescriptionBrowserDialog::end, Qt::QueuedConnection);
    });
    m_browser->setPage(page);
    layout->addWidget(m_browser, 0, 0, 1, COLUMNS);
    layout->setRowStretch(0, 1);

    connect(page, &QWebEnginePage::certificateError, this, [](const QWebEngineCertificateError &error) {
        QWebEngineCertificateError refused = error;
        refused.rejectCertificate();
    });
    connect(page, &QWebEnginePage::windowCloseRequested, this, &PpvDescriptionBrowserDialog::end);
    connect(page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        const QUrl target = request.requestedUrl();
        const QString scheme = target.scheme().toLower();
        if (!request.isUserInitiated() || !target.isValid() || target.host().isEmpty()
            || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            return; // refused: the new window is never created
        m_browser->load(target);
    });

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    layout->addWidget(m_progressBar, 1, 0, 1, 4, Qt::AlignTop);
    connect(m_browser, &QWebEngineView::loadProgress, m_progressBar, [this](int percent) {
        m_progressBar->setMaximum(100);
        m_progressBar->setValue(percent);
    });

    // Both buttons act when a mouse button goes down on them; they have no
    // click handler, so the keyboard does not work them.
    m_cancelButton = new QPushButton(LangMsg::getMsg(QStringLiteral("CANCEL")), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);
    m_cancelButton->installEventFilter(this);
    layout->addWidget(m_cancelButton, 1, 4);

    m_buyButton = new QPushButton(LangMsg::getMsg(QStringLiteral("BROWSER_DIALOG_BUY_MOVIE")), this);
    m_buyButton->setObjectName(QStringLiteral("buyButton"));
    m_buyButton->setAutoDefault(false);
    m_buyButton->installEventFilter(this);
    layout->addWidget(m_buyButton, 1, 5);

    setFixedSize(WIDTH, HEIGHT);
}

void PpvDescriptionBrowserDialog::setUrl(const QString &url)
{
    m_url = url;
}

void PpvDescriptionBrowserDialog::setInput(const QString &input)
{
    m_input = input;
}

QString PpvDescriptionBrowserDialog::getInput() const
{
    return m_input;
}

QString PpvDescriptionBrowserDialog::descriptionAddress(const QString &baseUrl, int streamId)
{
    return baseUrl + QStringLiteral("&id=") + QString::number(streamId);
}

QString PpvDescriptionBrowserDialog::orderAddress(int streamId)
{
    return Options::getPpvUrl() + QStringLiteral("&videoid=") + QString::number(streamId);
}

bool PpvDescriptionBrowserDialog::isOrderVerified(const QString &address)
{
    return address.contains(ORDER_VERIFIED_MARKER);
}

bool PpvDescriptionBrowserDialog::buyMovie(QWidget *mainWindow, int streamId)
{
    QWidget *owner = mainWindow ? mainWindow->window() : QApplication::activeWindow();
    PpvDescriptionBrowserDialog dialog(owner, streamId);
    dialog.setUrl(Options::getPpvDescriptionUrl());
    return isOrderVerified(dialog.openDialog());
}

QString PpvDescriptionBrowserDialog::openDialog()
{
    m_ending = false;
    move(dialogPosition(PLACEMENT_A, PLACEMENT_B));
    m_browser->load(QUrl(descriptionAddress(m_url, m_streamId)));
    exec();
    recordAddress();
    return m_url;
}

void PpvDescriptionBrowserDialog::recordAddress()
{
    if (m_browser)
        m_url = m_browser->url().toString();
}

void PpvDescriptionBrowserDialog::end()
{
    recordAddress();
    if (m_ending)
        return;
    m_ending = true;
    QDialog::reject();
}

void PpvDescriptionBrowserDialog::reject()
{
    end();
}

void PpvDescriptionBrowserDialog::buy()
{
    m_buyButton->setEnabled(false);
    m_browser->load(QUrl(orderAddress(m_streamId)));
}

bool PpvDescriptionBrowserDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        if (watched == m_cancelButton) {
            if (event->type() == QEvent::MouseButtonPress)
                end();
            return true;
        }
        if (watched == m_buyButton) {
            if (event->type() == QEvent::MouseButtonPress && m_buyButton->isEnabled())
                buy();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
