#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <functional>

class QGridLayout;
class QPushButton;
class TulException;

// How a window action shows a failure of the work it started (the main
// window passes its error display: the error dialog or the plain error box).
using TulErrorHandler = std::function<void(const TulException &)>;

// Initial bounds of a dialog: placed by dialogPosition(a, b) on the given
// screens, with the given size.
QRect dialogBounds(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount, int a, int b,
                   int width, int height);

// The frame every dialog of the program shares: application-modal, a title
// bar with a close box and no other window buttons.
//
// Key handling: Escape closes the dialog as the close box does. Return (and
// the keypad's Enter) presses the push button that has the keyboard focus;
// with the focus elsewhere it presses the default button set with
// setDefaultButton, and does nothing in a dialog without one. Push buttons
// never become default on their own.
class ModalDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ModalDialog(QWidget *parent);

    // The button that Return presses while the focus is not on a push button;
    // nullptr for none.
    void setDefaultButton(QPushButton *button);
    QPushButton *defaultButton() const { return m_defaultButton; }

    // Gives the dialog its initial bounds: placed by the program's placement
    // rule (a, b) on the running application's screens, with the given size.
    void placeDialog(int a, int b, int width, int height);

protected:
    void keyPressEvent(QKeyEvent *event) override;

    // A push button that leaves the Return key to the dialog.
    QPushButton *makeButton(const QString &text, QWidget *parent);

    // The dialog's layout as the forms have it: a grid of this many columns
    // of equal width, with 5 pixels of margin and spacing.
    QGridLayout *makeEvenGrid(int columns);

private:
    QPushButton *m_defaultButton = nullptr;
};

// Opens a modal message box on parent and waits until the user has closed
// it. An empty title leaves the box without a title.
void showMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);

// Opens the help pages in the user's web browser; a failure is printed to the
// standard error stream and nothing else happens.
void openHelpPage();
