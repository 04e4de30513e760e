#include "window/dialogs/PasswordEntryDialog.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

PasswordEntryDialog::PasswordEntryDialog(QWidget *parent) : ModalDialog(parent)
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_PASSWORD")));
    placeDialog(OFFSET_X, offsetY(monitorCount()), WIDTH, HEIGHT);

    QGridLayout *grid = makeEvenGrid(3);

    m_label = plainLabel(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_WRITE_IN_PASSWORD")), this);
    m_label->setMinimumWidth(160);
    grid->addWidget(m_label, 0, 0, 1, 3);

    m_field = new QLineEdit(this);
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setMinimumWidth(160);
    m_field->installEventFilter(this);
    grid->addWidget(m_field, 1, 0, 1, 3);

    m_ok = makeButton(QStringLiteral("OK"), this);
    m_cancel = makeButton(LangMsg::getMsg(QStringLiteral("CANCEL")), this);
    m_help = makeButton(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_HELP")), this);
    QPushButton *buttons[] = {m_ok, m_cancel, m_help};
    for (int column = 0; column < 3; ++column) {
        buttons[column]->setMinimumWidth(95);
        grid->addWidget(buttons[column], 2, column);
    }
    connect(m_ok, &QPushButton::clicked, this, &PasswordEntryDialog::ok);
    connect(m_cancel, &QPushButton::clicked, this, &PasswordEntryDialog::cancel);
    connect(m_help, &QPushButton::clicked, this, [] { openHelpPage(); });

    m_field->setFocus();
    // Packed: the preferred size replaces the initial one, the corner stays.
    adjustSize();
}

bool PasswordEntryDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Return in the password field does what OK does.
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return) {
            ok();
            return true;
        }
    }
    return ModalDialog::eventFilter(watched, event);
}

void PasswordEntryDialog::ok()
{
    valid = Options::evalPasswd(m_field->text());
    select = 0;
    accept();
}

void PasswordEntryDialog::cancel()
{
    select = 1;
    reject();
}
