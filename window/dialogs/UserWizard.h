#pragma once

#include <QWizard>
#include <QWizardPage>

class QButtonGroup;
class QLabel;
class QRadioButton;
class QTextEdit;

// The only page of the first-start mode choice: an explanation and the two
// mode radio buttons, neither selected at first.
class WizardPage0 : public QWizardPage
{
    Q_OBJECT
public:
    static const QString title; // the page's name, "Page0"

    WizardPage0();

    // Builds the page; called by the wizard when it adds the page.
    void createControl();

    bool isComplete() const override;

    QRadioButton *fullModeButton() const { return button1; }
    QRadioButton *limitedModeButton() const { return button2; }
    QString infoText() const { return infoString; }
    QString fullModeText() const { return label1text; }
    QString limitedModeText() const { return label2text; }

private:
    QString localTitle;
    QString localDescription;
    QString label1text;
    QString label2text;
    QString infoString;
    QRadioButton *button1 = nullptr;
    QRadioButton *button2 = nullptr;
    QButtonGroup *group = nullptr;
};

// The first-start mode choice: a one-page wizard with Finish and Cancel.
// Finish stores the chosen mode through Options::setMode (when no mode is
// stored yet); Cancel and the close box store nothing. exec() returns
// Accepted after Finish, Rejected otherwise.
class UserWizard : public QWizard
{
    Q_OBJECT
public:
    explicit UserWizard(QWidget *parent);

    void addPages();
    // One of the two radio buttons of the page is selected.
    bool canFinish() const;
    // Stores the pending choice when no mode is stored; always true.
    bool performFinish();

    WizardPage0 *page0() const { return wp0; }

    void accept() override;

private:
    WizardPage0 *wp0 = nullptr;
};
