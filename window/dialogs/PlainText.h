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

// Texts from outside can be as long as a download lets through (hundreds of
// megabytes in one field), and Qt lays out the whole of a text on the UI
// thread when it sizes, elides or draws it: a megabyte takes seconds. What
// the window shows of such a text is its start, at most SHOWN_TEXT_LIMIT
// UTF-16 units, cut between two characters (never inside a surrogate pair)
// and marked with an ellipsis; the records themselves keep the whole text.
constexpr qsizetype SHOWN_TEXT_LIMIT = 1000;

// The text as the window shows it: the text itself when it is within the
// bound, else its start and an ellipsis (at most SHOWN_TEXT_LIMIT + 1 units).
QString shownText(const QString &text);

// A label that shows its text as plain text. The format is set before the
// text, so no rich-text form of it is ever made; the text is shownText's.
QLabel *plainLabel(const QString &text, QWidget *parent);

// Makes an existing label show plain text, and no links.
void makePlain(QLabel *label);

// Sets the label's text as shownText gives it.
void setShownText(QLabel *label, const QString &text);

// A message box whose text is plain text, set before the text itself; its
// title and text are shownText's.
std::unique_ptr<QMessageBox> plainMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons, QWidget *parent);
