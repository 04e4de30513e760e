#include "window/dialogs/SelectionDialogParental.h"

#include "catalogue/LangMsg.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

SelectionDialogParental::SelectionDialogParental(QWidget *parent, bool visible) : ModalDialog(parent), visible(visible)
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("PASSWORD_DIALOG_PASSWORD")));
    placeDialog(OFFSET_X, offsetY(monitorCount()), WIDTH, HEIGHT);

    QGridLayout *grid = makeEvenGrid(3);

    m_label = plainLabel(LangMsg::getMsg(QStringLiteral("SELECTION_DIALOG_SELECT")), this);
    m_label->setMinimumWidth(160);
    grid->addWidget(m_label, 0, 0, 1, 3);

    m_change = makeButton(LangMsg::getMsg(QStringLiteral("SELECTION_DIALOG_CHANGE_PASSWORD")), this);
    m_toggle = makeButton(LangMsg::getMsg(this->visible ? QStringLiteral("SELECTION_DIALOG_HIDE_ADULT")
                                                        : QStringLiteral("SELECTION_DIALOG_SHOW_ADULT")),
                          this);
    m_remove = makeButton(LangMsg::getMsg(QStringLiteral("SELECTION_DIALOG_RESETPASS_BUTTON")), this);
    m_cancel = makeButton(LangMsg::getMsg(QStringLiteral("CANCEL")), this);
    QPushButton *buttons[] = {m_change, m_toggle, m_remove, m_cancel};
    for (int i = 0; i < 4; ++i) {
        buttons[i]->setMinimumWidth(95);
        grid->addWidget(buttons[i], 1 + i / 3, i % 3);
    }
    connect(m_change, &QPushButton::clicked, this, [this] { choose(CHANGE_PASSWORD); });
    connect(m_toggle, &QPushButton::clicked, this, [this] { choose(TOGGLE_ADULT); });
    connect(m_remove, &QPushButton::clicked, this, [this] { choose(REMOVE_PASSWORD); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_change->setFocus();
    adjustSize();
}

void SelectionDialogParental::choose(int choice)
{
    value = choice;
    accept();
}
