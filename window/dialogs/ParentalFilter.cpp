#include "window/dialogs/ParentalFilter.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

ParentalFilter::ParentalFilter(QWidget *parent) : ModalDialog(parent)
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_TITLE")));
    placeDialog(OFFSET_X, offsetY(monitorCount()), WIDTH, HEIGHT);

    QGridLayout *grid = makeEvenGrid(3);

    // The two password fields.
    auto *setGroup = new QGroupBox(LangMsg::getMsg(QStringLiteral("SET_PASSWORD")), this);
    auto *setLayout = new QVBoxLayout(setGroup);
    setLayout->addWidget(plainLabel(LangMsg::getMsg(QStringLiteral("PASSWORD")), setGroup));
    text1 = new QLineEdit(setGroup);
    text1->setEchoMode(QLineEdit::Password);
    text1->setMinimumWidth(160);
    setLayout->addWidget(text1);
    setLayout->addWidget(plainLabel(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_CONFIRM_PASSWORD")), setGroup));
    text2 = new QLineEdit(setGroup);
    text2->setEchoMode(QLineEdit::Password);
    text2->setMinimumWidth(160);
    setLayout->addWidget(text2);
    grid->addWidget(setGroup, 0, 0, 3, 2);

    // The buttons, under each other in the third column.
    auto *buttons = new QWidget(this);
    auto *buttonLayout = new QVBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    button1 = makeButton(QStringLiteral("OK"), buttons);
    m_cancel = makeButton(LangMsg::getMsg(QStringLiteral("CANCEL")), buttons);
    m_help = makeButton(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_HELP")), buttons);
    for (QPushButton *button : {button1, m_cancel, m_help}) {
        button->setMinimumWidth(95);
        buttonLayout->addWidget(button);
    }
    buttonLayout->addStretch();
    grid->addWidget(buttons, 0, 2, 3, 1);

    // The notice below.
    auto *infoGroup = new QGroupBox(this);
    auto *infoLayout = new QGridLayout(infoGroup);
    auto *info = plainLabel(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_INFO")), infoGroup);
    infoLayout->addWidget(info, 0, 0, 1, 2);
    grid->addWidget(infoGroup, 3, 0, 2, 3);

    text1->installEventFilter(this);
    text2->installEventFilter(this);
    connect(button1, &QPushButton::clicked, this, &ParentalFilter::ok);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_help, &QPushButton::clicked, this, [] { openHelpPage(); });

    text1->setFocus();
    adjustSize();
}

bool ParentalFilter::eventFilter(QObject *watched, QEvent *event)
{
    // Return only moves on: from the first field to the confirmation, from
    // there to OK.
    if ((watched == text1 || watched == text2) && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return) {
        if (watched == text1)
            text2->setFocus(Qt::OtherFocusReason);
        else
            button1->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return ModalDialog::eventFilter(watched, event);
}

namespace {
// The settings drop characters of code 32 and below at both ends of a
// password, so a text of nothing else stores no password at all.
bool blankOnly(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}
} // namespace

void ParentalFilter::ok()
{
    const QString first = text1->text();
    const QString second = text2->text();
    // Two empty fields, and two equal fields of blanks only, remove the
    // password: the user is told so rather than left thinking a password
    // now guards adult content.
    if (second == first && blankOnly(first))
        showMessageBox(this, QMessageBox::Information, QString(),
                       LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_PASSWORDS_EMPTHY")));
    if (second == first) {
        Options::setPasswd(first);
        m_stored = true;
        accept();
        return;
    }
    showMessageBox(this, QMessageBox::Critical, QString(),
                   LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_PASSWORDS_DIFFER")));
}
