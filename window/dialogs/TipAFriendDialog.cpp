#include "window/dialogs/TipAFriendDialog.h"

#include "catalogue/LangMsg.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TipAFriendDialog::TipAFriendDialog(QWidget *parent) : ModalDialog(parent)
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_TIPAFRIENDTITLE")));
    setMessage(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_TIPAFRIENDMESSAGE")) + QStringLiteral(": "));
    placeDialog(OFFSET_X, offsetY(monitorCount()), WIDTH, HEIGHT);

    QGridLayout *grid = makeEvenGrid(3);

    // The explanation.
    auto *infoGroup = new QGroupBox(this);
    auto *infoLayout = new QVBoxLayout(infoGroup);
    m_info = new QPlainTextEdit(infoGroup);
    m_info->setReadOnly(true);
    m_info->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_info->setPlainText(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_TIPAFRIENDINFO")));
    infoLayout->addWidget(m_info);
    grid->addWidget(infoGroup, 0, 0, 1, 3);
    grid->setRowStretch(0, 1);

    // The address.
    auto *addressGroup = new QGroupBox(this);
    auto *addressLayout = new QGridLayout(addressGroup);
    m_label = plainLabel(message, addressGroup);
    m_address = new QLineEdit(addressGroup);
    m_address->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    addressLayout->addWidget(m_label, 0, 0);
    addressLayout->addWidget(m_address, 0, 1);
    addressLayout->setColumnStretch(1, 1);
    grid->addWidget(addressGroup, 1, 0, 1, 3, Qt::AlignVCenter);

    auto *spacer = new QLabel(this);
    spacer->setMinimumWidth(195);
    grid->addWidget(spacer, 2, 0);
    m_send = makeButton(QStringLiteral("Send"), this);
    m_cancel = makeButton(QStringLiteral("Cancel"), this);
    m_send->setMinimumWidth(75);
    m_cancel->setMinimumWidth(75);
    grid->addWidget(m_send, 2, 1);
    grid->addWidget(m_cancel, 2, 2);
    setDefaultButton(m_send);

    connect(m_send, &QPushButton::clicked, this, [this] {
        input = m_address->text().isNull() ? QStringLiteral("") : m_address->text();
        accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        input.reset();
        reject();
    });

    m_address->setFocus();
}

void TipAFriendDialog::setMessage(const QString &text)
{
    message = text;
    if (m_label)
        setShownText(m_label, text);
}
