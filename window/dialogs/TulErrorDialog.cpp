#include "window/dialogs/TulErrorDialog.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTimeZone>

namespace {

// Width of the text inside the two group boxes, which are as wide as the
// text with their frames.
constexpr int MESSAGE_WIDTH = 420;
constexpr int ADVICE_WIDTH = 420;
constexpr int BUTTON_WIDTH = 100;
constexpr int REPORT_WIDTH = 415;
constexpr int REPORT_HEIGHT = 150;

const QString CRLF = QStringLiteral("\r\n");

QString orNull(const QString &value)
{
    return value.isNull() ? QStringLiteral("null") : value;
}

// Any mix of CR LF, CR and LF to LF, for showing the text in a box.
QString toLineFeeds(QString text)
{
    text.replace(CRLF, QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString toCrLf(const QString &text)
{
    QString result = toLineFeeds(text);
    result.replace(QStringLiteral("\n"), CRLF);
    return result;
}

} // namespace

TulErrorDialog::SystemValues TulErrorDialog::SystemValues::current()
{
    SystemValues values;
    const QString product = QSysInfo::prettyProductName();
    if (!product.isEmpty())
        values.operatingSystemName = product;
    const QString kernel = QSysInfo::kernelVersion();
    if (!kernel.isEmpty())
        values.operatingSystemPatchLevel = kernel;
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    if (!zone.isEmpty())
        values.timeZone = QString::fromLatin1(zone);
    // Qt 6 reads and writes local 8-bit text as UTF-8 on every Unix system,
    // whatever the C library's locale says.
    values.fileEncoding = QStringLiteral("UTF-8");
    const QLocale system = QLocale::system();
    if (system.territory() != QLocale::AnyTerritory) {
        const QString code = QLocale::territoryToCode(system.territory());
        if (!code.isEmpty())
            values.country = code;
    }
    if (system.language() != QLocale::AnyLanguage) {
        const QString code = QLocale::languageToCode(system.language());
        if (!code.isEmpty())
            values.language = code;
    }
    return values;
}

TulErrorDialog::TulErrorDialog(QWidget *parent, const QString &userMessage, const QStringList &trace,
                               const QString &detail)
    : TulErrorDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, userMessage, trace, detail)
{
}

TulErrorDialog::TulErrorDialog(QWidget *parent, Qt::WindowFlags flags, const QString &userMessage,
                               const QStringList &trace, const QString &detail)
    : QDialog(parent, flags)
{
    setWindowModality(Qt::ApplicationModal);
    m_stackTraceText = QStringLiteral(""); // empty, not null
    setWindowTitle(LangMsg::getMsg(QStringLiteral("Error")));
    setMessage(userMessage);
    m_stMessage = detail;
    for (const QString &frame : trace)
        m_stackTraceText += frame + CRLF;
    buildContents();
}

void TulErrorDialog::setMessage(const QString &message)
{
    m_message = message;
    if (m_messageLabel)
        setShownText(m_messageLabel, message);
}

QString TulErrorDialog::getMessage() const
{
    return m_message;
}

void TulErrorDialog::buildContents()
{
    m_layout = new QGridLayout(this);
    // The dialog always has its preferred size and cannot be resized; adding
    // or removing the report grows or shrinks it.
    m_layout->setSizeConstraint(QLayout::SetFixedSize);

    auto *messageGroup = new QGroupBox(this);
    messageGroup->setObjectName(QStringLiteral("messageGroup"));
    auto *messageLayout = new QGridLayout(messageGroup);
    m_messageLabel = plainLabel(m_message, messageGroup);
    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->setWordWrap(false);
    QFont bold(QStringLiteral("Arial"), 9, QFont::Bold);
    m_messageLabel->setFont(bold);
    // A long message is cut at the group's width instead of widening it.
    m_messageLabel->setFixedWidth(MESSAGE_WIDTH);
    messageLayout->addWidget(m_messageLabel, 0, 0);
    m_layout->addWidget(messageGroup, 0, 0, 1, 4, Qt::AlignLeft);

    auto *adviceGroup = new QGroupBox(this);
    adviceGroup->setObjectName(QStringLiteral("adviceGroup"));
    auto *adviceLayout = new QGridLayout(adviceGroup);
    auto *advice = plainLabel(LangMsg::getMsg(QStringLiteral("TULERRORDIALOG_INFO")), adviceGroup);
    advice->setObjectName(QStringLiteral("adviceText"));
    advice->setWordWrap(true);
    advice->setTextInteractionFlags(Qt::NoTextInteraction);
    advice->setBackgroundRole(QPalette::Window);
    advice->setAutoFillBackground(true);
    advice->setFixedWidth(ADVICE_WIDTH);
    advice->setFixedHeight(advice->heightForWidth(ADVICE_WIDTH));
    advice->setEnabled(false);
    adviceLayout->addWidget(advice, 0, 0);
    m_layout->addWidget(adviceGroup, 1, 0, 1, 4, Qt::AlignLeft);

    m_detailsButton = new QPushButton(LangMsg::getMsg(QStringLiteral("TULERRORDIALOG_SHOWDETAILED")), this);
    m_detailsButton->setObjectName(QStringLiteral("detailsButton"));
    m_detailsButton->setFixedWidth(BUTTON_WIDTH);
    connect(m_detailsButton, &QPushButton::clicked, this, &TulErrorDialog::toggleDetails);
    m_layout->addWidget(m_detailsButton, 2, 0, Qt::AlignLeft);

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setFixedWidth(BUTTON_WIDTH);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, [this] {
        m_values = QVariantList{QVariant()};
        accept();
    });
    m_layout->addWidget(m_okButton, 2, 1, 1, 3, Qt::AlignLeft);
}

void TulErrorDialog::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void TulErrorDialog::pack()
{
    // With the fixed-size constraint, activating the layout sets the size to
    // the preferred one; the position is kept.
    m_layout->invalidate();
    m_layout->activate();
}

std::optional<QVariantList> TulErrorDialog::openDialog()
{
    m_values.reset();
    move(dialogPosition(PLACEMENT_A, PLACEMENT_B));
    resize(INITIAL_WIDTH, INITIAL_HEIGHT);
    pack();
    exec();
    return m_values;
}

void TulErrorDialog::toggleDetails()
{
    if (m_detailedInfo) {
        delete m_copyText;
        m_copyText = nullptr;
        delete m_detailedInfo;
        m_detailedInfo = nullptr;
        m_detailsButton->setText(LangMsg::getMsg(QStringLiteral("TULERRORDIALOG_SHOWDETAILED")));
    } else {
        const QString report = reportText(m_clock ? m_clock() : QDateTime::currentDateTime(), SystemValues::current());
        m_detailedInfo = new QPlainTextEdit(this);
        m_detailedInfo->setObjectName(QStringLiteral("reportText"));
        m_detailedInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        m_detailedInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_detailedInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_detailedInfo->setMinimumWidth(REPORT_WIDTH);
        m_detailedInfo->setFixedHeight(REPORT_HEIGHT);
        m_detailedInfo->setPlainText(toLineFeeds(report));
        m_layout->addWidget(m_detailedInfo, 3, 0, 1, 4);

        m_copyText = new QPushButton(LangMsg::getMsg(QStringLiteral("TULERRORDIALOG_COPY")), this);
        m_copyText->setObjectName(QStringLiteral("copyButton"));
        m_copyText->setFixedWidth(BUTTON_WIDTH);
        connect(m_copyText, &QPushButton::clicked, this, &TulErrorDialog::copyReport);
        m_layout->addWidget(m_copyText, 4, 0, Qt::AlignLeft);
        m_detailedInfo->show();
        m_copyText->show();
    }
    pack();
}

void TulErrorDialog::copyReport()
{
    if (!m_detailedInfo)
        return;
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(toCrLf(m_detailedInfo->toPlainText()));
}

QString TulErrorDialog::reportDate(const QDateTime &when)
{
    const QLocale norwegian(QLocale::NorwegianBokmal, QLocale::Norway);
    // The identifier as the language code "no" and the country code "NO"
    // give it.
    return norwegian.toString(when, QLocale::LongFormat) + QStringLiteral(" no_NO");
}

QString TulErrorDialog::reportText(const QDateTime &when, const SystemValues &system) const
{
    QString report;
    const auto line = [&report](const QString &text) {
        report += text;
        report += CRLF;
    };
    line(QStringLiteral("Version: ") + Options::getVersion());
    line(QString());
    line(QStringLiteral("Date: ") + reportDate(when));
    line(QString());
    line(QStringLiteral("Message: "));
    // The two messages may carry a server's text: the report shows their
    // start, as the label does.
    line(orNull(shownText(m_stMessage)));
    line(QString());
    line(QStringLiteral("UserMessage: "));
    line(orNull(shownText(m_message)));
    line(QString());
    line(QStringLiteral("StackTrace:"));
    report += m_stackTraceText;
    line(QString());
    line(QString());
    line(QStringLiteral("Operating System: ") + orNull(system.operatingSystemName) + u' '
         + orNull(system.operatingSystemPatchLevel));
    line(QStringLiteral("TimeZone: ") + orNull(system.timeZone));
    line(QStringLiteral("FileEncoding: ") + orNull(system.fileEncoding));
    line(QStringLiteral("Country: ") + orNull(system.country));
    line(QStringLiteral("Language: ") + orNull(system.language));
    return report;
}
