#pragma once

#include "window/dialogs/ModalDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the parental password before the parental filter's choices.
// After exec(): getSelect() is 0 for OK or Return in the field, 1 for Cancel
// and -1 when the close box (or Escape) closed the dialog; isValid() tells
// whether the typed password was accepted.
class PasswordEntryDialog : public ModalDialog
{
    Q_OBJECT
public:
    explicit PasswordEntryDialog(QWidget *parent);

    int getSelect() const { return select; }
    bool isValid() const { return valid; }

    // Initial bounds before packing, for the placement rule.
    static constexpr int WIDTH = 320;
    static constexpr int HEIGHT = 107;
    static constexpr int OFFSET_X = 160;
    static int offsetY(int monitorCount) { return monitorCount == 1 ? 150 : 170; }

    QLineEdit *passwordField() const { return m_field; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *helpButton() const { return m_help; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ok();
    void cancel();

    int select = -1;
    bool valid = false;
    QLabel *m_label = nullptr;
    QLineEdit *m_field = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_help = nullptr;
};
