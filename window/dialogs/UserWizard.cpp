#include "window/dialogs/UserWizard.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "window/dialogs/PlainText.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>

const QString WizardPage0::title = QStringLiteral("Page0");

WizardPage0::WizardPage0()
    : localTitle(LangMsg::getMsg(QStringLiteral("WIZARD_SELECTION_PPV_TITLE"))),
      localDescription(LangMsg::getMsg(QStringLiteral("WIZARD_SELECTION_PPV_MAKE_SELECTION"))),
      label1text(LangMsg::getMsg(QStringLiteral("WIZARD_SELECT_PPV"))),
      label2text(LangMsg::getMsg(QStringLiteral("WIZARD_SELECT_CLEAN"))),
      infoString(LangMsg::getMsg(QStringLiteral("WIZARD_MATURE_INFO")))
{
    setObjectName(title);
    setTitle(localTitle);
    setSubTitle(localDescription);
}

void WizardPage0::createControl()
{
    auto *top = new QVBoxLayout(this);

    auto *infoGroup = new QGroupBox(this);
    auto *infoLayout = new QVBoxLayout(infoGroup);
    auto *info = new QTextEdit(infoGroup);
    info->setReadOnly(true);
    info->setEnabled(false);
    info->setPlainText(infoString);
    info->setMinimumWidth(200);
    info->setFrameShape(QFrame::NoFrame);
    info->setFocusPolicy(Qt::NoFocus);
    // Tall enough for the wrapped explanation, no taller.
    info->setFixedHeight(info->fontMetrics().lineSpacing() * 4 + 2 * info->frameWidth() + 8);
    QPalette palette = info->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Window));
    info->setPalette(palette);
    infoLayout->addWidget(info);
    top->addWidget(infoGroup);

    auto *choiceGroup = new QGroupBox(this);
    auto *choiceLayout = new QGridLayout(choiceGroup);
    // The radio buttons have no text of their own; clicking a label does
    // not select its button.
    button1 = new QRadioButton(choiceGroup);
    button2 = new QRadioButton(choiceGroup);
    choiceLayout->addWidget(button1, 0, 0);
    choiceLayout->addWidget(plainLabel(label1text, choiceGroup), 0, 1);
    choiceLayout->addWidget(button2, 1, 0);
    choiceLayout->addWidget(plainLabel(label2text, choiceGroup), 1, 1);
    choiceLayout->setColumnStretch(1, 1);
    top->addWidget(choiceGroup);
    top->addStretch();

    group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(button1);
    group->addButton(button2);
    connect(button1, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Options::setModeNotPersistent(true);
        emit completeChanged();
    });
    connect(button2, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Options::setModeNotPersistent(false);
        emit completeChanged();
    });
}

bool WizardPage0::isComplete() const
{
    return (button1 && button1->isChecked()) || (button2 && button2->isChecked());
}

UserWizard::UserWizard(QWidget *parent) : QWizard(parent)
{
    setWizardStyle(QWizard::ModernStyle);
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoBackButtonOnLastPage);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(LangMsg::getMsg(QStringLiteral("WIZARD_SELECTION_PPV_TITLE")));
    addPages();
}

void UserWizard::addPages()
{
    wp0 = new WizardPage0();
    wp0->createControl();
    addPage(wp0);
}

bool UserWizard::canFinish() const
{
    return currentPage() == wp0 && wp0->isComplete();
}

bool UserWizard::performFinish()
{
    if (!Options::getMode().has_value()) {
        const std::optional<bool> pending = Options::getModeNotPersistent();
        // Finish is only enabled once a mode was picked.
        if (pending.has_value())
            Options::setMode(*pending);
    }
    return true;
}

void UserWizard::accept()
{
    if (!canFinish())
        return;
    if (performFinish())
        QWizard::accept();
}
