#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QGridLayout;

// The detailed error dialog: the user message in bold, an advice to mail
// unexpected errors, and on request an editable error report (program
// version, date, technical detail, user message, stack trace and the user's
// system settings) that can be copied to the clipboard.
class TulErrorDialog : public QDialog
{
    Q_OBJECT

public:
    // The system values at the end of the report. A null text is written as
    // "null".
    struct SystemValues
    {
        QString operatingSystemName;
        QString operatingSystemPatchLevel;
        QString timeZone;
        QString fileEncoding;
        QString country;
        QString language;

        // The values of the running platform.
        static SystemValues current();
    };

    // Application-modal, with a title bar and a close box.
    TulErrorDialog(QWidget *parent, const QString &userMessage, const QStringList &trace, const QString &detail);
    TulErrorDialog(QWidget *parent, Qt::WindowFlags flags, const QString &userMessage, const QStringList &trace,
                   const QString &detail);

    virtual void setMessage(const QString &message);
    // Places and packs the dialog, shows it modally and returns when it has
    // closed: one empty element after OK, no value after the close box.
    virtual std::optional<QVariantList> openDialog();
    virtual QString getMessage() const;

    // The technical detail (the cause's message) and the stack-trace block
    // (each frame followed by CR LF).
    QString getDetail() const { return m_stMessage; }
    QString getStackTraceText() const { return m_stackTraceText; }

    // The report, every line ended by CR LF.
    QString reportText(const QDateTime &when, const SystemValues &system) const;
    // The date line's value: the date and time in the fullest Norwegian
    // (Norway) form, a blank and the locale's identifier "no_NO".
    static QString reportDate(const QDateTime &when);

    // Where the report's date comes from (the current local time unless
    // set; a test sets a clock of its own).
    void setClock(std::function<QDateTime()> clock);

    // Whether the report box is shown.
    bool detailsShown() const { return m_detailedInfo != nullptr; }

    // Dialog frame numbers: initial size and the placement offsets.
    static constexpr int INITIAL_WIDTH = 450;
    static constexpr int INITIAL_HEIGHT = 340;
    static constexpr int PLACEMENT_A = 225;
    static constexpr int PLACEMENT_B = 170;

public slots:
    // The details toggle: shows a freshly built report (and the copy button)
    // or removes them; the dialog is packed again, its top-left corner stays.
    void toggleDetails();
    // Puts the report box's current text, edits included, on the clipboard
    // with CR LF line ends.
    void copyReport();

private:
    void buildContents();
    void pack();

    QString m_message;
    std::optional<QVariantList> m_values;
    QString m_stackTraceText;
    QPlainTextEdit *m_detailedInfo = nullptr;
    QPushButton *m_copyText = nullptr;
    QString m_stMessage;

    std::function<QDateTime()> m_clock;
    QGridLayout *m_layout = nullptr;
    QLabel *m_messageLabel = nullptr;
    QPushButton *m_detailsButton = nullptr;
    QPushButton *m_okButton = nullptr;
};
