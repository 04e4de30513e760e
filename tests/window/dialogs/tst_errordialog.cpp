// The error dialog with its report and copy button, and the two error
// displays the main window chooses between.

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/TulException.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/ErrorDisplay.h"
#include "window/dialogs/TulErrorDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTimeZone>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <stdexcept>

namespace {

const QString CRLF = QStringLiteral("\r\n");

// Runs check on the modal window that the code under test opens next, then
// closes that window (also when a check failed, so the test never hangs).
void onModal(std::function<void(QWidget *)> check)
{
    QTimer::singleShot(0, qApp, [check] {
        QWidget *modal = QApplication::activeModalWidget();
        const auto closer = qScopeGuard([modal] {
            if (modal && modal->isVisible())
                modal->close();
        });
        check(modal);
    });
}

template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

QPushButton *button(QWidget *dialog, const char *name)
{
    return child<QPushButton>(dialog, name);
}

TulErrorDialog::SystemValues fixedSystem()
{
    TulErrorDialog::SystemValues system;
    system.operatingSystemName = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    system.operatingSystemPatchLevel = QStringLiteral("6.1.0-18-amd64");
    system.timeZone = QStringLiteral("Europe/Oslo");
    system.fileEncoding = QStringLiteral("UTF-8");
    system.country = QStringLiteral("NO");
    system.language = QStringLiteral("nb");
    return system;
}

const QDateTime FIXED_TIME(QDate(2024, 3, 5), QTime(14, 7, 9));

// A failure with a cause, as the catalogue makes them.
TulException connectFailure()
{
    return TulException(QStringLiteral("ConnectError"), std::runtime_error("Connection refused"));
}

} // namespace

class TestErrorDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void frameAndTexts();
    void reportText_data();
    void reportText();
    void reportDate();
    void systemValues();
    void placementAndPacking();
    void placementOnTwoMonitors();
    void detailsToggleBuildsAFreshReport();
    void copyPutsTheReportWithCrLf_data();
    void copyPutsTheReportWithCrLf();
    void result_data();
    void result();
    void longMessageIsCut();
    void convention_data();
    void convention();
    void detailedFormUsesTheWindowAndIgnoresTheTitle();
    void plainBoxWithoutShellStillHasAParent();

private:
    QMainWindow *m_window = nullptr;
};

void TestErrorDialog::init()
{
    m_window = new QMainWindow;
    m_window->setCentralWidget(new QWidget);
    m_window->resize(640, 480);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestErrorDialog::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestErrorDialog::frameAndTexts()
{
    TulErrorDialog dialog(m_window, QStringLiteral("Firewall blocking error"),
                          {QStringLiteral("at one()"), QStringLiteral("at two()")}, QStringLiteral("Connection refused"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Unknown error"));
    QCOMPARE(dialog.parentWidget(), m_window);
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(dialog.getMessage(), QStringLiteral("Firewall blocking error"));
    QCOMPARE(dialog.getDetail(), QStringLiteral("Connection refused"));
    QCOMPARE(dialog.getStackTraceText(), QStringLiteral("at one()\r\nat two()\r\n"));

    QLabel *label = child<QLabel>(&dialog, "messageLabel");
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Firewall blocking error"));
    QVERIFY(!label->wordWrap());
    QCOMPARE(label->font().family(), QStringLiteral("Arial"));
    QCOMPARE(label->font().pointSize(), 9);
    QVERIFY(label->font().bold());
    QVERIFY(qobject_cast<QGroupBox *>(label->parentWidget()));
    QVERIFY(qobject_cast<QGroupBox *>(label->parentWidget())->title().isEmpty());

    QLabel *advice = child<QLabel>(&dialog, "adviceText");
    QVERIFY(advice);
    QCOMPARE(advice->text(),
             QStringLiteral("If this is an unexpected error, please paste it into an email and send it to us."));
    QVERIFY(advice->wordWrap());
    QVERIFY(!advice->isEnabled());

    QPushButton *details = button(&dialog, "detailsButton");
    QPushButton *ok = button(&dialog, "okButton");
    QVERIFY(details && ok);
    QCOMPARE(details->text(), QStringLiteral("Details >>"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(details->width(), 100);
    QCOMPARE(ok->width(), 100);

    QVERIFY(!dialog.detailsShown());
    QVERIFY(!child<QPlainTextEdit>(&dialog, "reportText"));
    QVERIFY(!button(&dialog, "copyButton"));

    // No cause: the trace block is empty, and the detail is absent.
    TulErrorDialog bare(m_window, QStringLiteral("File not found."), {}, QString());
    QVERIFY(bare.getStackTraceText().isEmpty());
    QVERIFY(bare.getDetail().isNull());

    bare.setMessage(QStringLiteral("Another"));
    QCOMPARE(bare.getMessage(), QStringLiteral("Another"));
    QCOMPARE(child<QLabel>(&bare, "messageLabel")->text(), QStringLiteral("Another"));
}

void TestErrorDialog::reportText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<bool>("systemKnown");
    QTest::addColumn<QString>("expected");

    const QString date = TulErrorDialog::reportDate(FIXED_TIME);
    const QString knownTail = QStringLiteral("Operating System: Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64\r\n"
                                             "TimeZone: Europe/Oslo\r\n"
                                             "FileEncoding: UTF-8\r\n"
                                             "Country: NO\r\n"
                                             "Language: nb\r\n");

    QTest::newRow("with cause")
        << QStringLiteral("Firewall blocking error") << QStringList{QStringLiteral("at one()"), QStringLiteral("at two()")}
        << QStringLiteral("Connection refused") << true
        << QStringLiteral("Version: 10.0.0\r\n"
                          "\r\n"
                          "Date: ")
               + date
               + QStringLiteral("\r\n"
                                "\r\n"
                                "Message: \r\n"
                                "Connection refused\r\n"
                                "\r\n"
                                "UserMessage: \r\n"
                                "Firewall blocking error\r\n"
                                "\r\n"
                                "StackTrace:\r\n"
                                "at one()\r\n"
                                "at two()\r\n"
                                "\r\n"
                                "\r\n")
               + knownTail;

    QTest::newRow("without cause")
        << QStringLiteral("File not found.") << QStringList() << QString() << true
        << QStringLiteral("Version: 10.0.0\r\n\r\nDate: ") + date
               + QStringLiteral("\r\n\r\nMessage: \r\nnull\r\n\r\nUserMessage: \r\nFile not found.\r\n\r\n"
                                "StackTrace:\r\n\r\n\r\n")
               + knownTail;

    QTest::newRow("cause without message")
        << QStringLiteral("data.dat: File not found.") << QStringList{QStringLiteral("at read()")} << QStringLiteral("")
        << true
        << QStringLiteral("Version: 10.0.0\r\n\r\nDate: ") + date
               + QStringLiteral("\r\n\r\nMessage: \r\n\r\n\r\nUserMessage: \r\ndata.dat: File not found.\r\n\r\n"
                                "StackTrace:\r\nat read()\r\n\r\n\r\n")
               + knownTail;

    QTest::newRow("absent values")
        << QString() << QStringList() << QString() << false
        << QStringLiteral("Version: 10.0.0\r\n\r\nDate: ") + date
               + QStringLiteral("\r\n\r\nMessage: \r\nnull\r\n\r\nUserMessage: \r\nnull\r\n\r\n"
                                "StackTrace:\r\n\r\n\r\n"
                                "Operating System: null null\r\n"
                                "TimeZone: null\r\n"
                                "FileEncoding: null\r\n"
                                "Country: null\r\n"
                                "Language: null\r\n");
}

void TestErrorDialog::reportText()
{
    QFETCH(QString, message);
    QFETCH(QStringList, trace);
    QFETCH(QString, detail);
    QFETCH(bool, systemKnown);
    QFETCH(QString, expected);

    TulErrorDialog dialog(m_window, message, trace, detail);
    const QString report = dialog.reportText(FIXED_TIME, systemKnown ? fixedSystem() : TulErrorDialog::SystemValues());
    QCOMPARE(report, expected);
    // Every line ends with CR LF, the last one included.
    QVERIFY(report.endsWith(CRLF));
    QCOMPARE(report.count(u'\n'), report.count(CRLF));
    QCOMPARE(report.count(u'\r'), report.count(CRLF));
    QVERIFY(report.startsWith(QStringLiteral("Version: ") + Options::getVersion() + CRLF));
}

void TestErrorDialog::reportDate()
{
    const QString date = TulErrorDialog::reportDate(FIXED_TIME);
    QVERIFY(date.endsWith(QStringLiteral(" no_NO")));
    // The fullest Norwegian form: weekday and month by name, the year and the
    // time of day with seconds.
    QVERIFY2(date.contains(QStringLiteral("tirsdag")), qPrintable(date));
    QVERIFY2(date.contains(QStringLiteral("mars")), qPrintable(date));
    QVERIFY2(date.contains(QStringLiteral("2024")), qPrintable(date));
    QVERIFY2(date.contains(QStringLiteral("14")) && date.contains(QStringLiteral("07"))
                 && date.contains(QStringLiteral("09")),
             qPrintable(date));
    QCOMPARE(date.chopped(6),
             QLocale(QLocale::NorwegianBokmal, QLocale::Norway).toString(FIXED_TIME, QLocale::LongFormat));
}

void TestErrorDialog::systemValues()
{
    const TulErrorDialog::SystemValues system = TulErrorDialog::SystemValues::current();
    QCOMPARE(system.operatingSystemName, QSysInfo::prettyProductName());
    QCOMPARE(system.operatingSystemPatchLevel, QSysInfo::kernelVersion());
    QCOMPARE(system.timeZone, QString::fromLatin1(QTimeZone::systemTimeZoneId()));
    QCOMPARE(system.fileEncoding, QStringLiteral("UTF-8"));
    const QLocale locale = QLocale::system();
    if (locale.territory() == QLocale::AnyTerritory)
        QVERIFY(system.country.isNull());
    else
        QCOMPARE(system.country, QLocale::territoryToCode(locale.territory()));
    QCOMPARE(system.language, QLocale::languageToCode(locale.language()));

    // The shown report ends with these values.
    TulErrorDialog dialog(m_window, QStringLiteral("x"), {}, QString());
    dialog.toggleDetails();
    const QString shown = child<QPlainTextEdit>(&dialog, "reportText")->toPlainText();
    const QString expectedTail = QStringLiteral("Operating System: %1 %2\nTimeZone: %3\nFileEncoding: UTF-8\n")
                                     .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(),
                                          QString::fromLatin1(QTimeZone::systemTimeZoneId()));
    QVERIFY2(shown.contains(expectedTail), qPrintable(shown));
}

void TestErrorDialog::placementAndPacking()
{
    TulErrorDialog dialog(m_window, QStringLiteral("Firewall blocking error"), {QStringLiteral("at one()")},
                          QStringLiteral("Connection refused"));
    bool checked = false;
    onModal([&](QWidget *modal) {
        QCOMPARE(modal, &dialog);
        QCOMPARE(dialog.pos(), dialogPosition(TulErrorDialog::PLACEMENT_A, TulErrorDialog::PLACEMENT_B));
        QCOMPARE(dialog.pos(), dialogPosition(225, 170));
        // Packed: the preferred size replaces 450 x 340, and the size is
        // fixed.
        const QSize packed = dialog.size();
        QCOMPARE(packed, dialog.sizeHint());
        QVERIFY(packed != QSize(450, 340));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(packed.width() >= 430);

        const QPoint topLeft = dialog.pos();
        QTest::mouseClick(button(&dialog, "detailsButton"), Qt::LeftButton);
        QVERIFY(dialog.detailsShown());
        QVERIFY(dialog.height() >= packed.height() + 150);
        QCOMPARE(dialog.pos(), topLeft);
        QPlainTextEdit *report = child<QPlainTextEdit>(&dialog, "reportText");
        QVERIFY(report);
        QCOMPARE(report->height(), 150);
        QVERIFY(report->width() >= 415);
        QVERIFY(!report->isReadOnly());
        QCOMPARE(button(&dialog, "copyButton")->width(), 100);
        QCOMPARE(button(&dialog, "detailsButton")->text(), QStringLiteral("Details >>"));

        QTest::mouseClick(button(&dialog, "detailsButton"), Qt::LeftButton);
        QVERIFY(!dialog.detailsShown());
        QCOMPARE(dialog.size(), packed);
        QCOMPARE(dialog.pos(), topLeft);
        QCOMPARE(button(&dialog, "detailsButton")->text(), QStringLiteral("Details >>"));
        checked = true;
    });
    dialog.openDialog();
    QVERIFY(checked);
}

void TestErrorDialog::placementOnTwoMonitors()
{
    // With two monitors the primary monitor's width and height place the
    // dialog, not the whole display's.
    const QRect display(0, 0, 3200, 1200);
    const QRect primary(0, 0, 1280, 1024);
    QCOMPARE(dialogPosition(display, primary, 2, TulErrorDialog::PLACEMENT_A, TulErrorDialog::PLACEMENT_B),
             QPoint(640 - 225, 512 - 170));
    QCOMPARE(dialogPosition(display, primary, 1, TulErrorDialog::PLACEMENT_A, TulErrorDialog::PLACEMENT_B),
             QPoint(1600 - 225, 600 - 170));
    QCOMPARE(TulErrorDialog::INITIAL_WIDTH, 450);
    QCOMPARE(TulErrorDialog::INITIAL_HEIGHT, 340);
}

void TestErrorDialog::detailsToggleBuildsAFreshReport()
{
    TulErrorDialog dialog(m_window, QStringLiteral("Firewall blocking error"), {QStringLiteral("at one()")},
                          QStringLiteral("Connection refused"));
    QDateTime now = FIXED_TIME;
    dialog.setClock([&now] { return now; });

    dialog.toggleDetails();
    QPlainTextEdit *report = child<QPlainTextEdit>(&dialog, "reportText");
    QVERIFY(report);
    QCOMPARE(button(&dialog, "copyButton")->text(), QStringLiteral("Copy text"));
    QString expected = dialog.reportText(FIXED_TIME, TulErrorDialog::SystemValues::current());
    expected.replace(CRLF, QStringLiteral("\n"));
    QCOMPARE(report->toPlainText(), expected);

    report->moveCursor(QTextCursor::End);
    report->insertPlainText(QStringLiteral("an edit"));
    QVERIFY(report->toPlainText().contains(QStringLiteral("an edit")));

    dialog.toggleDetails();
    QVERIFY(!dialog.detailsShown());
    QVERIFY(!child<QPlainTextEdit>(&dialog, "reportText"));
    QVERIFY(!button(&dialog, "copyButton"));

    now = FIXED_TIME.addSecs(75);
    dialog.toggleDetails();
    report = child<QPlainTextEdit>(&dialog, "reportText");
    QVERIFY(report);
    const QString again = report->toPlainText();
    QVERIFY(!again.contains(QStringLiteral("an edit")));
    QVERIFY(again.contains(QStringLiteral("Date: ") + TulErrorDialog::reportDate(now) + u'\n'));
    QVERIFY(!again.contains(TulErrorDialog::reportDate(FIXED_TIME)));
}

void TestErrorDialog::copyPutsTheReportWithCrLf_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("expectedSuffix");
    QTest::newRow("unedited") << QString() << QString();
    QTest::newRow("one line added") << QStringLiteral("My note") << QStringLiteral("My note");
    QTest::newRow("lines added") << QStringLiteral("first\nsecond\n") << QStringLiteral("first\r\nsecond\r\n");
}

void TestErrorDialog::copyPutsTheReportWithCrLf()
{
    QFETCH(QString, edit);
    QFETCH(QString, expectedSuffix);

    QClipboard *clipboard = QGuiApplication::clipboard();
    QVERIFY(clipboard);
    clipboard->setText(QStringLiteral("what the clipboard held"));

    TulErrorDialog dialog(m_window, QStringLiteral("Firewall blocking error"),
                          {QStringLiteral("at one()"), QStringLiteral("at two()")}, QStringLiteral("Connection refused"));
    dialog.setClock([] { return FIXED_TIME; });
    bool checked = false;
    onModal([&](QWidget *) {
        QTest::mouseClick(button(&dialog, "detailsButton"), Qt::LeftButton);
        QPlainTextEdit *report = child<QPlainTextEdit>(&dialog, "reportText");
        QVERIFY(report);
        report->moveCursor(QTextCursor::End);
        if (!edit.isEmpty())
            QTest::keyClicks(report, QString(edit).replace(u'\n', u'\r'));
        QTest::mouseClick(button(&dialog, "copyButton"), Qt::LeftButton);
        checked = true;
    });
    dialog.openDialog();
    QVERIFY(checked);

    const QString expected = dialog.reportText(FIXED_TIME, TulErrorDialog::SystemValues::current()) + expectedSuffix;
    const QString copied = clipboard->text();
    QCOMPARE(copied, expected);
    QCOMPARE(copied.count(u'\n'), copied.count(CRLF));
}

void TestErrorDialog::result_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("hasValues");
    QTest::newRow("OK button") << "ok" << true;
    QTest::newRow("Return presses OK") << "return" << true;
    QTest::newRow("close box") << "close" << false;
    QTest::newRow("Escape") << "escape" << false;
}

void TestErrorDialog::result()
{
    QFETCH(QString, how);
    QFETCH(bool, hasValues);

    TulErrorDialog dialog(m_window, QStringLiteral("Firewall blocking error"), {}, QString());
    onModal([&](QWidget *) {
        if (how == QLatin1String("ok"))
            QTest::mouseClick(button(&dialog, "okButton"), Qt::LeftButton);
        else if (how == QLatin1String("return"))
            QTest::keyClick(&dialog, Qt::Key_Return);
        else if (how == QLatin1String("close"))
            dialog.close();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    const std::optional<QVariantList> values = dialog.openDialog();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(values.has_value(), hasValues);
    if (hasValues) {
        QCOMPARE(values->size(), 1);
        QVERIFY(!values->first().isValid());
    }
}

void TestErrorDialog::longMessageIsCut()
{
    TulErrorDialog shortOne(m_window, QStringLiteral("Short"), {}, QString());
    const QString longText = QStringLiteral("A very long message that does not fit ").repeated(20);
    TulErrorDialog longOne(m_window, longText, {}, QString());
    bool checked = false;
    onModal([&](QWidget *) {
        QLabel *label = child<QLabel>(&longOne, "messageLabel");
        QVERIFY(!label->wordWrap());
        QCOMPARE(label->text(), longText);
        QVERIFY(label->width() < label->fontMetrics().horizontalAdvance(longText));
        QVERIFY(label->width() <= 430);
        // One line high: not wrapped.
        QVERIFY(label->height() < 2 * label->fontMetrics().height());
        QCOMPARE(longOne.size(), shortOne.sizeHint());
        checked = true;
    });
    longOne.openDialog();
    QVERIFY(checked);
}

void TestErrorDialog::convention_data()
{
    QTest::addColumn<bool>("enableStackTrace");
    QTest::addColumn<bool>("withCause");
    QTest::newRow("detailed, with cause") << true << true;
    QTest::newRow("detailed, without cause") << true << false;
    QTest::newRow("plain box, with cause") << false << true;
    QTest::newRow("plain box, without cause") << false << false;
}

void TestErrorDialog::convention()
{
    QFETCH(bool, enableStackTrace);
    QFETCH(bool, withCause);

    const TulException error = withCause ? connectFailure() : TulException(QStringLiteral("FileNotFoundError"));
    bool checked = false;
    onModal([&](QWidget *modal) {
        QVERIFY(modal);
        QCOMPARE(modal->parentWidget(), m_window);
        QCOMPARE(modal->windowTitle(), QStringLiteral("Unknown error"));
        QCOMPARE(modal->windowModality(), Qt::ApplicationModal);
        if (enableStackTrace) {
            auto *dialog = qobject_cast<TulErrorDialog *>(modal);
            QVERIFY(dialog);
            QCOMPARE(dialog->getMessage(), error.getMsg());
            QCOMPARE(child<QLabel>(dialog, "messageLabel")->text(), error.getMsg());
            QCOMPARE(dialog->getDetail(), error.getMessage());
            if (withCause) {
                QCOMPARE(dialog->getDetail(), QStringLiteral("Connection refused"));
                QVERIFY(!dialog->getStackTraceText().isEmpty());
                QCOMPARE(dialog->getStackTraceText(), error.getStackTrace().join(CRLF) + CRLF);
            } else {
                QVERIFY(dialog->getDetail().isNull());
                QVERIFY(dialog->getStackTraceText().isEmpty());
                dialog->toggleDetails();
                const QString shown = child<QPlainTextEdit>(dialog, "reportText")->toPlainText();
                QVERIFY(shown.contains(QStringLiteral("\nMessage: \nnull\n")));
                QVERIFY(shown.contains(QStringLiteral("\nStackTrace:\n\n\nOperating System: ")));
            }
        } else {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            QVERIFY(!qobject_cast<TulErrorDialog *>(modal));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(), error.getMsg());
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box->buttons().size(), 1);
        }
        checked = true;
    });
    ErrorDisplay::show(m_window, error, enableStackTrace);
    QVERIFY(checked);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestErrorDialog::detailedFormUsesTheWindowAndIgnoresTheTitle()
{
    QWidget *inner = m_window->centralWidget();
    bool checked = false;
    onModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TulErrorDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), m_window);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Unknown error"));
        QCOMPARE(dialog->getMessage(), QStringLiteral("Error, sending message failed"));
        checked = true;
    });
    ErrorDisplay::tulErrorDialog(QStringLiteral("Some other title"), QStringLiteral("Error, sending message failed"),
                                 inner, {QStringLiteral("at send()")}, QStringLiteral("HTTP 500"));
    QVERIFY(checked);

    // The plain box keeps the title it is given.
    checked = false;
    onModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->parentWidget(), m_window);
        QCOMPARE(box->windowTitle(), QStringLiteral("Some other title"));
        QCOMPARE(box->text(), QStringLiteral("Error, sending message failed"));
        checked = true;
    });
    ErrorDisplay::tulErrorDialog(QStringLiteral("Some other title"), QStringLiteral("Error, sending message failed"),
                                 m_window);
    QVERIFY(checked);
}

void TestErrorDialog::plainBoxWithoutShellStillHasAParent()
{
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    bool checked = false;
    onModal([&](QWidget *modal) {
        QVERIFY(modal);
        QCOMPARE(modal->parentWidget(), m_window);
        checked = true;
    });
    ErrorDisplay::tulErrorDialog(QStringLiteral("Unknown error"), QStringLiteral("File not found."), nullptr);
    QVERIFY(checked);
}

QTEST_MAIN(TestErrorDialog)
#include "tst_errordialog.moc"
