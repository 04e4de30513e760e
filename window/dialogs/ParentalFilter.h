#pragma once

#include "window/dialogs/ModalDialog.h"

class QLineEdit;
class QPushButton;

// Sets (or, with two empty fields or two equal fields of blanks only,
// removes) the parental password. The dialog stores the password itself;
// passwordStored() tells afterwards whether it did.
class ParentalFilter : public ModalDialog
{
    Q_OBJECT
public:
    explicit ParentalFilter(QWidget *parent);

    bool passwordStored() const { return m_stored; }

    static constexpr int WIDTH = 340;
    static constexpr int HEIGHT = 240;
    static constexpr int OFFSET_X = 160;
    static int offsetY(int monitorCount) { return monitorCount == 1 ? 150 : 170; }

    QLineEdit *passwordField() const { return text1; }
    QLineEdit *confirmField() const { return text2; }
    QPushButton *okButton() const { return button1; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *helpButton() const { return m_help; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ok();

    QLineEdit *text1 = nullptr;
    QLineEdit *text2 = nullptr;
    QPushButton *button1 = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_help = nullptr;
    bool m_stored = false;
};
