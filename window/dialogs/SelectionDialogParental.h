#pragma once

#include "window/dialogs/ModalDialog.h"

class QLabel;
class QPushButton;

// The parental filter's four choices. After exec(), getValue() is
// CHANGE_PASSWORD, TOGGLE_ADULT or REMOVE_PASSWORD, or CANCELLED for Cancel
// and the close box.
class SelectionDialogParental : public ModalDialog
{
    Q_OBJECT
public:
    static constexpr int CANCELLED = -1;
    static constexpr int CHANGE_PASSWORD = 0;
    static constexpr int TOGGLE_ADULT = 1;
    static constexpr int REMOVE_PASSWORD = 3;

    // visible: adult content is shown now (picks the text of the toggle).
    SelectionDialogParental(QWidget *parent, bool visible);

    int getValue() const { return value; }

    static constexpr int WIDTH = 320;
    static constexpr int HEIGHT = 100;
    static constexpr int OFFSET_X = 160;
    static int offsetY(int monitorCount) { return monitorCount == 1 ? 150 : 170; }

    QPushButton *changePasswordButton() const { return m_change; }
    QPushButton *toggleAdultButton() const { return m_toggle; }
    QPushButton *removePasswordButton() const { return m_remove; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    void choose(int choice);

    int value = CANCELLED;
    bool visible;
    QLabel *m_label = nullptr;
    QPushButton *m_change = nullptr;
    QPushButton *m_toggle = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_cancel = nullptr;
};
