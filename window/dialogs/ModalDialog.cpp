#include "window/dialogs/ModalDialog.h"

#include "catalogue/Options.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>
#include <cstdio>

QRect dialogBounds(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount, int a, int b,
                   int width, int height)
{
    return QRect(dialogPosition(displayBounds, primaryBounds, monitorCount, a, b), QSize(width, height));
}

ModalDialog::ModalDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowModality(Qt::ApplicationModal);
    setSizeGripEnabled(false);
}

void ModalDialog::setDefaultButton(QPushButton *button)
{
    m_defaultButton = button;
}

void ModalDialog::placeDialog(int a, int b, int width, int height)
{
    // The top-left corner is that of the frame, the size that of the dialog.
    move(dialogPosition(a, b));
    resize(width, height);
}

QPushButton *ModalDialog::makeButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QGridLayout *ModalDialog::makeEvenGrid(int columns)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(5, 5, 5, 5);
    grid->setSpacing(5);
    for (int column = 0; column < columns; ++column)
        grid->setColumnStretch(column, 1);
    return grid;
}

void ModalDialog::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        reject();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        auto *focused = qobject_cast<QPushButton *>(focusWidget());
        QPushButton *target = focused ? focused : m_defaultButton;
        if (target && target->isVisible() && target->isEnabled())
            target->click();
        return;
    }
    event->ignore();
}

void showMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    const auto box = plainMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
}

void openHelpPage()
{
    const QString address = Options::getManualUrl();
    if (!QDesktopServices::openUrl(QUrl(address)))
        std::fprintf(stderr, "Could not open the help page %s\n", qPrintable(address));
}
