#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

class QLabel;
class QWidget;

// Texts that the window shows as they stand.
//
// Qt's labels and message boxes guess rich text from the text itself, and
// rich text reads the images it names (a file, a device, a pipe) on the UI
// thread and offers its links. A stream name, a category, a message of the
// day, a server's reply or a failure's detail comes from outside, so every
// label and box of the window shows its text as plain text: markup in it is
// shown literally and opens nothing. The bundle's own texts carry no markup
// and look the same either way.

// A label that shows its text as plain text. The format is set before the
// text, so no rich-text form of it is ever made.
QLabel *plainLabel(const QString &text, QWidget *parent);

// Makes an existing label show plain text, and no links.
void makePlain(QLabel *label);

// A message box whose text is plain text, set before the text itself.
std::unique_ptr<QMessageBox> plainMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons, QWidget *parent);
