#pragma once

#include "window/dialogs/ModalDialog.h"

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QPlainTextEdit;

// The tell-a-friend form. After exec(), getInput() is the address field's
// text as typed when Send closed the form (exec() then returns Accepted),
// none after Cancel or the close box.
class TipAFriendDialog : public ModalDialog
{
    Q_OBJECT
public:
    explicit TipAFriendDialog(QWidget *parent);

    // The caption of the address field.
    void setMessage(const QString &text);
    QString getMessage() const { return message; }
    std::optional<QString> getInput() const { return input; }

    static constexpr int WIDTH = 380;
    static constexpr int HEIGHT = 220;
    static constexpr int OFFSET_X = 160;
    static int offsetY(int monitorCount) { return monitorCount == 1 ? 150 : 170; }

    QPlainTextEdit *infoText() const { return m_info; }
    QLabel *addressLabel() const { return m_label; }
    QLineEdit *addressField() const { return m_address; }
    QPushButton *sendButton() const { return m_send; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    QString message;
    std::optional<QString> input;
    QPlainTextEdit *m_info = nullptr;
    QLabel *m_label = nullptr;
    QLineEdit *m_address = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_cancel = nullptr;
};
