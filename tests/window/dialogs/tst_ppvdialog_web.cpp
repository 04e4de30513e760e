// The pay-per-view dialog against real servers on loopback: the reference
// service for the description, order and confirmation pages (and its HTTPS
// listener, whose self-signed certificate must be refused), and a small
// server of our own for pages the service does not have (a page that closes
// its window, pop-ups, cookies).

#include "catalogue/Options.h"
#include "service/ReferenceService.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PPVDialog.h"

#include <httplib.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const QString SERIAL = QStringLiteral("TESTKEY1");
constexpr int LOAD_TIMEOUT = 20000;

// Pages the reference service does not serve.
class PageServer
{
public:
    struct Hit
    {
        std::string path;
        std::string cookie;
        httplib::Params params;
    };

    bool start()
    {
        const auto html = [](const std::string &body) {
            return "<!DOCTYPE html><html><head><title>page</title></head><body>" + body + "</body></html>";
        };
        const auto serve = [this](const std::string &path, std::string body, std::string cookie = std::string()) {
            m_server.Get(path, [this, body, cookie](const httplib::Request &req, httplib::Response &res) {
                {
                    std::lock_guard lock(m_mutex);
                    m_hits.push_back({req.path, req.get_header_value("Cookie"), req.params});
                }
                if (!cookie.empty())
                    res.set_header("Set-Cookie", cookie);
                res.set_content(body, "text/html; charset=utf-8");
            });
        };
        serve("/close.html", html("<p>Closing</p><script>window.addEventListener('load', function () {"
                                  " window.close(); });</script>"));
        serve("/closelater.html", html("<p id='p'>Closing on request</p><script>"
                                       "function closeMe() { window.close(); }</script>"));
        serve("/plain.html", html("<p>A page</p>"));
        // A link aimed at a new window covering the top of the page, a
        // second one to an address of another scheme, and a pop-up the page
        // opens on its own.
        serve("/popup.html",
              "<!DOCTYPE html><html><head><title>page</title><style>body{margin:0} a{display:block;position:absolute;"
              "left:0;width:400px;height:150px}</style></head><body>"
              "<a id='pop' href='/target.html?from=popup' target='_blank' style='top:0'>pop-up</a>"
              "<a id='data' href='data:text/html,elsewhere' target='_blank' style='top:200px'>data</a>"
              "<script>var w = window.open('/unrequested.html'); document.title = w ? 'opened' : 'blocked';</script>"
              "</body></html>");
        serve("/target.html", html("<p>Target</p>"));
        serve("/unrequested.html", html("<p>Nobody asked</p>"));
        serve("/setcookie.html", html("<p>Cookie set</p>"), "order_session=abc123; Path=/");
        serve("/echo.html", html("<p>Echo</p>"));
        // Pages that ask for script dialogs, file choosers, printing and
        // windows without end. Each reports what it got back to /mark (a
        // synchronous request, so that the page waits for it), the first time
        // and the hundredth time round, then goes on asking.
        const std::string mark = "<script>function mark(q) { var x = new XMLHttpRequest();"
                                 " x.open('GET', '/mark?page=' + location.pathname + '&' + q, false); x.send(); }</script>";
        const auto loop = [&](const std::string &call) {
            return html(mark + "<p>Asking</p><script>for (var i = 1; ; ++i) { var answer = " + call
                        + "; if (i == 1 || i == 100) mark('n=' + i + '&answer=' + answer); }</script>");
        };
        serve("/alert.html", loop("alert('x')"));
        serve("/confirm.html", loop("confirm('Stay?')"));
        serve("/prompt.html", loop("prompt('Name?', 'someone')"));
        serve("/print.html", loop("print()"));
        serve("/open.html", loop("window.open('/unrequested.html', '_blank')"));
        // Pages that act on the user's click (the pages get input only then).
        const std::string cover = "<style>body{margin:0} #c{position:absolute;left:0;top:0;width:400px;"
                                  "height:150px}</style>";
        serve("/beforeunload.html",
              html(mark + cover + "<div id='c'>Leave?</div><script>"
                                  "window.addEventListener('beforeunload', function (e) { e.preventDefault();"
                                  " e.returnValue = 'Stay'; return 'Stay'; });"
                                  "document.addEventListener('click', function () { mark('n=click'); });</script>"));
        // A file input under the click, and a file picker a script asks for
        // (the first on the click, the second after it): the page reports
        // how its picker request ended, which comes after the input's.
        const std::string picker =
            "function pick() { window.showOpenFilePicker().then(function () { mark('n=picker&answer=picked'); },"
            " function (e) { mark('n=picker&answer=' + e.name); }); }";
        serve("/file.html", html(mark + cover + "<input type='file' id='c'><script>" + picker
                                 + "document.getElementById('c').addEventListener('click', function () {"
                                   " mark('n=click'); setTimeout(pick, 0); });</script>"));
        serve("/picker.html", html(mark + cover + "<div id='c'>Pick</div><script>" + picker
                                   + "document.addEventListener('click', function () { mark('n=click'); pick(); });"
                                     "</script>"));
        m_server.Get("/mark", [this](const httplib::Request &req, httplib::Response &res) {
            {
                std::lock_guard lock(m_mutex);
                m_hits.push_back({req.path, std::string(), req.params});
            }
            res.set_content("ok", "text/plain");
        });

        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // The listening thread reports itself running (bounded to 15 s).
        for (int i = 0; i < 7500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return m_server.is_running();
    }

    ~PageServer()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    void clearHits()
    {
        std::lock_guard lock(m_mutex);
        m_hits.clear();
    }

    std::vector<Hit> hits(const std::string &path) const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Hit> result;
        for (const Hit &hit : m_hits) {
            if (hit.path == path)
                result.push_back(hit);
        }
        return result;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Hit> m_hits;
};

QPushButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QString::fromLatin1(name));
}

// Runs script while the dialog is open and returns what openDialog returned.
// The dialog is closed after the script if it is still open (also when a
// check inside failed), so a failure never leaves the test hanging.
QString runDialog(PpvDescriptionBrowserDialog &dialog, const std::function<void()> &script)
{
    QTimer::singleShot(0, &dialog, [&dialog, script] {
        const auto closer = qScopeGuard([&dialog] {
            if (dialog.isVisible())
                dialog.reject();
        });
        script();
    });
    return dialog.openDialog();
}

QString currentAddress(PpvDescriptionBrowserDialog &dialog)
{
    return dialog.browser()->url().toString();
}

// Waits until the browser has finished count loads (successful or not).
bool waitForLoads(QSignalSpy &loads, int count)
{
    for (int waited = 0; loads.count() < count && waited < LOAD_TIMEOUT; waited += 50)
        QTest::qWait(50);
    return loads.count() >= count;
}

// Clicks the page until it has reported the click to /mark (a click that
// comes before the page takes input is lost).
bool clickUntilReported(QWidget *surface, const std::function<bool()> &reported)
{
    for (int attempt = 0; attempt < 10 && !reported(); ++attempt) {
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(100, 60));
        if (QTest::qWaitFor(reported, 3000))
            break;
    }
    return reported();
}

// Watches for any window other than the main window and the dialog while the
// dialog is open: a message box, an input box, a file or print dialog, or a
// new browser window. Each one is recorded and closed; after a few the dialog
// itself is ended, so that a page that keeps opening them fails the test
// instead of holding it.
class IntruderWatch : public QObject
{
public:
    IntruderWatch(QWidget *mainWindow, QDialog *dialog) : m_mainWindow(mainWindow), m_dialog(dialog)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    const QStringList &intruders() const { return m_intruders; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != m_dialog && modal != m_mainWindow)
            intruder(modal);
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window != m_mainWindow && window != m_dialog && window->isVisible()
                && window->windowType() != Qt::ToolTip)
                intruder(window);
        }
    }

    void intruder(QWidget *window)
    {
        m_intruders << QString::fromLatin1(window->metaObject()->className());
        if (auto *box = qobject_cast<QDialog *>(window))
            box->reject();
        else
            window->close();
        if (m_intruders.size() >= 3 && m_dialog && m_dialog->isVisible())
            m_dialog->reject();
    }

    QPointer<QWidget> m_mainWindow;
    QPointer<QDialog> m_dialog;
    QTimer m_timer;
    QStringList m_intruders;
};

} // namespace

class TestPpvDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void isOrderVerified_data();
    void isOrderVerified();
    void addresses();
    void frameAndTexts();
    void descriptionPageThenCancel();
    void buyLoadsTheOrderPageOnceAndRefusesAnUntrustedCertificate();
    void confirmedOrderIsReturned_data();
    void confirmedOrderIsReturned();
    void pageClosingItsWindowEndsTheDialog();
    void orderPageClosingItsWindowEndsTheDialog();
    void keyboardDoesNotWorkTheButtons();
    void popUps();
    void cookiesLastForTheRun();
    void buyMovieFlow_data();
    void buyMovieFlow();
    void scriptDialogsNeverShow_data();
    void scriptDialogsNeverShow();
    void leavingAPageThatAsksToStay_data();
    void leavingAPageThatAsksToStay();
    void fileChoosersOpenNothing_data();
    void fileChoosersOpenNothing();

private:
    // The answers /mark received from page for the n-th time round (empty:
    // none yet).
    QStringList answers(const QString &page, const std::string &n) const;
    QTemporaryDir m_dir;
    QString m_previousDir;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<PageServer> m_pages;
    QWidget *m_window = nullptr;
};

void TestPpvDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    Options::resetToDefaults();
    Options::setSerial(SERIAL);

    ReferenceService::Config config;
    config.https = ReferenceService::httpsSupported();
    config.dataDir = m_dir.filePath(QStringLiteral("service"));
    config.logToStderr = false;
    m_service = std::make_unique<ReferenceService>(config);
    QVERIFY(m_service->start());
    qputenv("QUORVANTEL_CATALOGUE_HOST", m_service->hostPort().toLatin1());
    if (m_service->httpsRunning())
        qputenv("QUORVANTEL_ORDER_HOST", m_service->httpsHostPort().toLatin1());
    else
        qputenv("QUORVANTEL_ORDER_HOST", m_service->hostPort().toLatin1());

    m_pages = std::make_unique<PageServer>();
    QVERIFY(m_pages->start());
}

void TestPpvDialog::cleanupTestCase()
{
    m_pages.reset();
    m_service.reset();
    QDir::setCurrent(m_previousDir);
}

void TestPpvDialog::init()
{
    m_window = new QWidget;
    m_window->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_service->clearRequests();
    m_pages->clearHits();
}

void TestPpvDialog::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestPpvDialog::isOrderVerified_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("verified");
    QTest::newRow("confirmation page")
        << "https://secure.example/ppv/ppvorder_verify.php?serial=K&videoid=42" << true;
    QTest::newRow("marker in the query") << "https://secure.example/ppv/done.php?next=ppvorder_verify" << true;
    QTest::newRow("order page") << "https://secure.example/ppv/ppvorder.php?serial=K&videoid=42" << false;
    QTest::newRow("description page") << "http://catalogue.example/getPPVDescription.php?serial=K&id=42" << false;
    QTest::newRow("other case") << "https://secure.example/ppv/PPVORDER_VERIFY.php" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("null") << QString() << false;
}

void TestPpvDialog::isOrderVerified()
{
    QFETCH(QString, address);
    QFETCH(bool, verified);
    QCOMPARE(PpvDescriptionBrowserDialog::isOrderVerified(address), verified);
}

void TestPpvDialog::addresses()
{
    QCOMPARE(PpvDescriptionBrowserDialog::descriptionAddress(QStringLiteral("http://h/getPPVDescription.php?serial=K"), 42),
             QStringLiteral("http://h/getPPVDescription.php?serial=K&id=42"));
    QCOMPARE(PpvDescriptionBrowserDialog::descriptionAddress(QString(), -5), QStringLiteral("&id=-5"));
    QCOMPARE(PpvDescriptionBrowserDialog::orderAddress(42),
             QStringLiteral("https://%1/ppv/ppvorder.php?serial=%2&videoid=42")
                 .arg(QString::fromLatin1(qgetenv("QUORVANTEL_ORDER_HOST")), SERIAL));
    QCOMPARE(PpvDescriptionBrowserDialog::orderAddress(42), Options::getPpvUrl() + QStringLiteral("&videoid=42"));

    PpvDescriptionBrowserDialog first(m_window, 42);
    QCOMPARE(first.getStreamId(), 42);
    // The form with window flags keeps the identifier too.
    PpvDescriptionBrowserDialog second(m_window, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, 43);
    QCOMPARE(second.getStreamId(), 43);
    second.setInput(QStringLiteral("input"));
    QCOMPARE(second.getInput(), QStringLiteral("input"));
}

void TestPpvDialog::frameAndTexts()
{
    PpvDescriptionBrowserDialog dialog(m_window, 501);
    dialog.setUrl(m_pages->base() + QStringLiteral("/plain.html?x="));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Buy"));
    QCOMPARE(dialog.parentWidget(), m_window);
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QCOMPARE(button(&dialog, "cancelButton")->text(), QStringLiteral("Cancel"));
    QCOMPARE(button(&dialog, "buyButton")->text(), QStringLiteral("Buy"));
    QVERIFY(button(&dialog, "buyButton")->isEnabled());
    QVERIFY(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar")));
    QCOMPARE(dialog.browser()->page()->profile(), PpvDescriptionBrowserDialog::profile());
    QVERIFY(PpvDescriptionBrowserDialog::profile()->isOffTheRecord());

    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    bool checked = false;
    runDialog(dialog, [&] {
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        QCOMPARE(dialog.pos(), dialogPosition(330, 360));
        QCOMPARE(dialog.size(), QSize(660, 720));
        QVERIFY(waitForLoads(loads, 1));
        QVERIFY(loads.first().first().toBool());
        // Not shrunk to the contents, and not resizable.
        QCOMPARE(dialog.size(), QSize(660, 720));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 100);
        // The browser takes the width; the buttons share the row with the bar.
        QVERIFY(dialog.browser()->width() > 600);
        QVERIFY(dialog.browser()->height() > 600);
        checked = true;
    });
    QVERIFY(checked);
}

void TestPpvDialog::descriptionPageThenCancel()
{
    PpvDescriptionBrowserDialog dialog(m_window, 501);
    dialog.setUrl(Options::getPpvDescriptionUrl());
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    const QString expected = Options::getPpvDescriptionUrl() + QStringLiteral("&id=501");
    QCOMPARE(expected, QStringLiteral("http://%1/getPPVDescription.php?serial=%2&id=501")
                           .arg(m_service->hostPort(), SERIAL));
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        QVERIFY(loads.first().first().toBool());
        QCOMPARE(currentAddress(dialog), expected);
        QCOMPARE(dialog.browser()->page()->title(), QStringLiteral("The Lighthouse Keeper"));
        const auto requests = m_service->requests(QStringLiteral("/getPPVDescription.php"));
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests.front().query, QByteArray("serial=TESTKEY1&id=501"));
        // A press is enough: Cancel acts before the button is released.
        QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QCOMPARE(result, expected);
    QVERIFY(!PpvDescriptionBrowserDialog::isOrderVerified(result));
}

void TestPpvDialog::buyLoadsTheOrderPageOnceAndRefusesAnUntrustedCertificate()
{
    if (!m_service->httpsRunning())
        QSKIP("the reference service has no HTTPS listener here");

    PpvDescriptionBrowserDialog dialog(m_window, 503);
    dialog.setUrl(Options::getPpvDescriptionUrl());
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    int certificateErrors = 0;
    connect(dialog.browser()->page(), &QWebEnginePage::certificateError, this,
            [&certificateErrors](const QWebEngineCertificateError &) { ++certificateErrors; });
    const QString order = QStringLiteral("https://%1/ppv/ppvorder.php?serial=%2&videoid=503")
                              .arg(m_service->httpsHostPort(), SERIAL);
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        QPushButton *buy = button(&dialog, "buyButton");
        QTest::mousePress(buy, Qt::LeftButton);
        QVERIFY(!buy->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(currentAddress(dialog), order, LOAD_TIMEOUT);
        QTest::mouseRelease(buy, Qt::LeftButton);
        // Disabled for good: a second press does nothing.
        QTest::mousePress(buy, Qt::LeftButton);
        QTest::mouseRelease(buy, Qt::LeftButton);
        QVERIFY(!buy->isEnabled());

        QVERIFY(waitForLoads(loads, 2));
        // The certificate was refused: the page did not load and the order
        // server never saw the request.
        QCOMPARE(loads.at(1).first().toBool(), false);
        QVERIFY(certificateErrors >= 1);
        QCOMPARE(m_service->requestCount(QStringLiteral("/ppv/ppvorder.php")), 0);
        // The browser shows its error page for the refused certificate.
        QString shown;
        bool got = false;
        dialog.browser()->page()->toPlainText([&](const QString &text) {
            shown = text;
            got = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(got, LOAD_TIMEOUT);
        QVERIFY2(shown.contains(QStringLiteral("ERR_CERT_AUTHORITY_INVALID")), qPrintable(shown));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.size(), QSize(660, 720));
        QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        checked = true;
    });
    QVERIFY(checked);
    QCOMPARE(result, order);
    QVERIFY(!PpvDescriptionBrowserDialog::isOrderVerified(result));
}

void TestPpvDialog::confirmedOrderIsReturned_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("close box") << "close";
    QTest::newRow("Escape") << "escape";
}

void TestPpvDialog::confirmedOrderIsReturned()
{
    QFETCH(QString, how);
    m_service->clearRentals();

    PpvDescriptionBrowserDialog dialog(m_window, 504);
    dialog.setUrl(Options::getPpvDescriptionUrl());
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        // The order pages of the service, as the user reaches them in the
        // browser (the secure order server's certificate cannot be trusted
        // here, so the test goes to the service's plain listener).
        dialog.browser()->load(QUrl(m_service->baseUrl()
                                    + QStringLiteral("/ppv/ppvorder.php?serial=%1&videoid=504").arg(SERIAL)));
        QVERIFY(waitForLoads(loads, 2));
        QVERIFY(loads.at(1).first().toBool());
        dialog.browser()->page()->runJavaScript(QStringLiteral("document.getElementById('confirm').click();"));
        QVERIFY(waitForLoads(loads, 3));
        QVERIFY(loads.at(2).first().toBool());
        QVERIFY(currentAddress(dialog).contains(QStringLiteral("ppvorder_verify")));
        if (how == QLatin1String("cancel"))
            QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        else if (how == QLatin1String("close"))
            dialog.close();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QVERIFY2(result.startsWith(m_service->baseUrl() + QStringLiteral("/ppv/ppvorder_verify.php?serial=TESTKEY1")),
             qPrintable(result));
    QVERIFY(PpvDescriptionBrowserDialog::isOrderVerified(result));
    bool rented = false;
    for (const RefService::PpvRental &rental : m_service->rentals(SERIAL))
        rented = rented || (rental.videoId == 504 && rental.timeLeft > 0);
    QVERIFY(rented);
}

void TestPpvDialog::pageClosingItsWindowEndsTheDialog()
{
    PpvDescriptionBrowserDialog dialog(m_window, 7);
    dialog.setUrl(m_pages->base() + QStringLiteral("/close.html?movie="));
    bool ended = false;
    const QString result = runDialog(dialog, [&] {
        for (int waited = 0; dialog.isVisible() && waited < LOAD_TIMEOUT; waited += 50)
            QTest::qWait(50);
        ended = !dialog.isVisible();
    });
    QVERIFY(ended);
    QCOMPARE(result, m_pages->base() + QStringLiteral("/close.html?movie=&id=7"));
    QCOMPARE(m_pages->hits("/close.html").size(), size_t(1));
}

void TestPpvDialog::orderPageClosingItsWindowEndsTheDialog()
{
    // A page further on in the dialog's history (as the order pages are)
    // closes the window on the user's click.
    PpvDescriptionBrowserDialog dialog(m_window, 8);
    dialog.setUrl(m_pages->base() + QStringLiteral("/plain.html?movie="));
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    bool ended = false;
    const QString closing = m_pages->base() + QStringLiteral("/closelater.html?step=2");
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        dialog.browser()->load(QUrl(closing));
        QVERIFY(waitForLoads(loads, 2));
        dialog.browser()->page()->runJavaScript(QStringLiteral("closeMe();"));
        for (int waited = 0; dialog.isVisible() && waited < LOAD_TIMEOUT; waited += 50)
            QTest::qWait(50);
        ended = !dialog.isVisible();
    });
    QVERIFY(ended);
    QCOMPARE(result, closing);
}

void TestPpvDialog::keyboardDoesNotWorkTheButtons()
{
    PpvDescriptionBrowserDialog dialog(m_window, 502);
    dialog.setUrl(Options::getPpvDescriptionUrl());
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    QSignalSpy starts(dialog.browser(), &QWebEngineView::loadStarted);
    bool checked = false;
    runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        const QString before = currentAddress(dialog);
        const int startsBefore = starts.count();
        for (const char *name : {"cancelButton", "buyButton"}) {
            QPushButton *target = button(&dialog, name);
            target->setFocus(Qt::TabFocusReason);
            for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
                QTest::keyClick(target, key);
                QVERIFY2(dialog.isVisible(), name);
            }
        }
        QVERIFY(button(&dialog, "buyButton")->isEnabled());
        QCOMPARE(currentAddress(dialog), before);
        QCOMPARE(starts.count(), startsBefore);
        QCOMPARE(m_service->requestCount(QStringLiteral("/ppv/ppvorder.php")), 0);
        checked = true;
    });
    QVERIFY(checked);
}

void TestPpvDialog::popUps()
{
    PpvDescriptionBrowserDialog dialog(m_window, 9);
    dialog.setUrl(m_pages->base() + QStringLiteral("/popup.html?movie="));
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        // The pop-up the page opened on its own was refused.
        QTRY_COMPARE_WITH_TIMEOUT(dialog.browser()->page()->title(), QStringLiteral("blocked"), LOAD_TIMEOUT);
        const QString page = currentAddress(dialog);

        QWidget *surface = dialog.browser()->focusProxy();
        QVERIFY(surface);
        // A click on the link to another scheme: refused, the page stays.
        int requests = 0;
        connect(dialog.browser()->page(), &QWebEnginePage::newWindowRequested, this,
                [&requests](QWebEngineNewWindowRequest &) { ++requests; });
        // A click that comes before the page takes input is lost: it is
        // repeated only when the page has not asked for a window after it.
        const auto clickUntilRequested = [&](const QPoint &at, int count) {
            for (int attempt = 0; attempt < 10 && requests < count; ++attempt) {
                QTest::mouseClick(surface, Qt::LeftButton, {}, at);
                if (QTest::qWaitFor([&] { return requests >= count; }, 3000))
                    break;
            }
        };
        clickUntilRequested(QPoint(100, 260), 1);
        QCOMPARE(requests, 1);
        QCOMPARE(currentAddress(dialog), page);

        // A click on the link aimed at a new window opens it in the dialog.
        const QString target = m_pages->base() + QStringLiteral("/target.html?from=popup");
        clickUntilRequested(QPoint(100, 60), 2);
        QCOMPARE(requests, 2);
        QTRY_COMPARE_WITH_TIMEOUT(currentAddress(dialog), target, LOAD_TIMEOUT);
        QVERIFY(waitForLoads(loads, 2));
        QVERIFY(loads.at(1).first().toBool());
        QCOMPARE(m_pages->hits("/target.html").size(), size_t(1));
        QCOMPARE(m_pages->hits("/unrequested.html").size(), size_t(0));
        QVERIFY(dialog.isVisible());
        QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        checked = true;
    });
    QVERIFY(checked);
    QCOMPARE(result, m_pages->base() + QStringLiteral("/target.html?from=popup"));
}

void TestPpvDialog::cookiesLastForTheRun()
{
    {
        PpvDescriptionBrowserDialog dialog(m_window, 10);
        dialog.setUrl(m_pages->base() + QStringLiteral("/setcookie.html?movie="));
        QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
        runDialog(dialog, [&] { QVERIFY(waitForLoads(loads, 1)); });
    }
    PpvDescriptionBrowserDialog dialog(m_window, 11);
    dialog.setUrl(m_pages->base() + QStringLiteral("/echo.html?movie="));
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    runDialog(dialog, [&] { QVERIFY(waitForLoads(loads, 1)); });
    const auto hits = m_pages->hits("/echo.html");
    QCOMPARE(hits.size(), size_t(1));
    QVERIFY2(hits.front().cookie.find("order_session=abc123") != std::string::npos, hits.front().cookie.c_str());
    // Nothing of it goes to disk.
    QVERIFY(PpvDescriptionBrowserDialog::profile()->isOffTheRecord());
}

void TestPpvDialog::buyMovieFlow_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("order confirmed") << true;
    QTest::newRow("cancelled") << false;
}

void TestPpvDialog::buyMovieFlow()
{
    QFETCH(bool, confirm);
    QWidget *inner = new QWidget(m_window);
    bool checked = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<PpvDescriptionBrowserDialog *>(QApplication::activeModalWidget());
        const auto closer = qScopeGuard([dialog] {
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), m_window);
        QCOMPARE(dialog->getStreamId(), 505);
        QSignalSpy loads(dialog->browser(), &QWebEngineView::loadFinished);
        QVERIFY(waitForLoads(loads, 1));
        QCOMPARE(dialog->browser()->url().toString(), Options::getPpvDescriptionUrl() + QStringLiteral("&id=505"));
        if (confirm) {
            dialog->browser()->load(QUrl(m_service->baseUrl()
                                         + QStringLiteral("/ppv/ppvorder_verify.php?serial=%1&videoid=505").arg(SERIAL)));
            QVERIFY(waitForLoads(loads, 2));
        }
        QTest::mousePress(button(dialog, "cancelButton"), Qt::LeftButton);
        checked = true;
    });
    const bool bought = PpvDescriptionBrowserDialog::buyMovie(inner, 505);
    QVERIFY(checked);
    QCOMPARE(bought, confirm);
}

QStringList TestPpvDialog::answers(const QString &page, const std::string &n) const
{
    QStringList result;
    for (const PageServer::Hit &hit : m_pages->hits("/mark")) {
        const auto at = hit.params.find("n");
        const auto from = hit.params.find("page");
        if (at != hit.params.end() && at->second == n && from != hit.params.end()
            && from->second == page.toStdString()) {
            const auto answer = hit.params.find("answer");
            result << QString::fromStdString(answer == hit.params.end() ? std::string() : answer->second);
        }
    }
    return result;
}

void TestPpvDialog::scriptDialogsNeverShow_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("answer");
    QTest::newRow("alert") << "/alert.html" << "undefined";
    QTest::newRow("confirm: no") << "/confirm.html" << "false";
    QTest::newRow("prompt: cancelled") << "/prompt.html" << "null";
    QTest::newRow("print") << "/print.html" << "undefined";
    QTest::newRow("window.open: refused") << "/open.html" << "null";
}

// A page asking for script dialogs, printing or windows without end: each is
// answered at once and none shows, the dialog stays the modal window, and
// Cancel ends it.
void TestPpvDialog::scriptDialogsNeverShow()
{
    QFETCH(QString, page);
    QFETCH(QString, answer);
    PpvDescriptionBrowserDialog dialog(m_window, 12);
    dialog.setUrl(m_pages->base() + page + QStringLiteral("?movie="));
    IntruderWatch watch(m_window, &dialog);
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        // A hundred times round: answered a hundred times, and nothing shown.
        QTRY_VERIFY_WITH_TIMEOUT(!answers(page, "100").isEmpty() || !watch.intruders().isEmpty(), LOAD_TIMEOUT);
        QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
        QCOMPARE(answers(page, "1"), QStringList{answer});
        QCOMPARE(answers(page, "100"), QStringList{answer});
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        QVERIFY(dialog.findChildren<QDialog *>().isEmpty());
        // The page is still asking; Cancel ends the dialog all the same.
        QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
    QCOMPARE(result, m_pages->base() + page + QStringLiteral("?movie=&id=12"));
    QCOMPARE(m_pages->hits("/unrequested.html").size(), size_t(0));
}

void TestPpvDialog::leavingAPageThatAsksToStay_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Buy") << "buy";
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("close box") << "close";
}

// A page that asks to stay when left (after the user's click, which the web
// engine requires for that): Buy leaves it for the order page all the same,
// Cancel and the close box end the dialog, and nothing asks.
void TestPpvDialog::leavingAPageThatAsksToStay()
{
    QFETCH(QString, how);
    const QString page = QStringLiteral("/beforeunload.html");
    const QString shown = m_pages->base() + page + QStringLiteral("?movie=&id=13");
    const QString expected = how == QLatin1String("buy") ? PpvDescriptionBrowserDialog::orderAddress(13) : shown;
    PpvDescriptionBrowserDialog dialog(m_window, 13);
    dialog.setUrl(m_pages->base() + page + QStringLiteral("?movie="));
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    IntruderWatch watch(m_window, &dialog);
    bool checked = false;
    const QString result = runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        QVERIFY(loads.first().first().toBool());
        QVERIFY(clickUntilReported(dialog.browser()->focusProxy(), [&] { return !answers(page, "click").isEmpty(); }));
        if (how == QLatin1String("buy")) {
            QTest::mousePress(button(&dialog, "buyButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(currentAddress(dialog) == expected || !watch.intruders().isEmpty(), LOAD_TIMEOUT);
            QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
            QCOMPARE(currentAddress(dialog), expected);
            QCOMPARE(QApplication::activeModalWidget(), &dialog);
        }
        if (how == QLatin1String("close"))
            dialog.close();
        else
            QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
    QCOMPARE(result, expected);
}

void TestPpvDialog::fileChoosersOpenNothing_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("file input") << "/file.html";
    QTest::newRow("file picker") << "/picker.html";
}

// A click on a file input, or a script's file picker, opens no file dialog:
// the picker is refused as if the user had cancelled it.
void TestPpvDialog::fileChoosersOpenNothing()
{
    QFETCH(QString, page);
    PpvDescriptionBrowserDialog dialog(m_window, 14);
    dialog.setUrl(m_pages->base() + page + QStringLiteral("?movie="));
    QSignalSpy loads(dialog.browser(), &QWebEngineView::loadFinished);
    IntruderWatch watch(m_window, &dialog);
    bool checked = false;
    runDialog(dialog, [&] {
        QVERIFY(waitForLoads(loads, 1));
        QVERIFY(clickUntilReported(dialog.browser()->focusProxy(), [&] { return !answers(page, "click").isEmpty(); }));
        QTRY_VERIFY_WITH_TIMEOUT(!answers(page, "picker").isEmpty() || !watch.intruders().isEmpty(), LOAD_TIMEOUT);
        QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
        QCOMPARE(answers(page, "picker"), QStringList{QStringLiteral("AbortError")});
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        QTest::mousePress(button(&dialog, "cancelButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QVERIFY2(watch.intruders().isEmpty(), qPrintable(watch.intruders().join(QLatin1Char(' '))));
}

int main(int argc, char **argv)
{
    // The web engine refuses to run as root with its sandbox.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPpvDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ppvdialog_web.moc"
