#pragma once

#include "catalogue/Options.h"

#include <QString>

class QWidget;

// What the user is told about the settings file: a save that failed, and a
// second program started in a working directory where one already runs.

// The text of a failed save: that the settings were not saved, why, and
// where the settings file as it was before stays.
QString saveFailureText(const Options::WriteFailure &failure);

// Shows a failed save during the run in a modal box over parent.
void showSaveFailure(const Options::WriteFailure &failure, QWidget *parent);

// How long a message shown while the program ends waits for the user.
constexpr int ENDING_MESSAGE_MS = 120000;

// A message shown while the program ends, its window gone (or never
// shown): a box that closes by itself after timeoutMs, and at once on an
// end signal (Application::catchEndSignals), so that nobody there to answer
// keeps the process from ending. Once the program was told to end by a
// signal, the message goes to standard error only. It goes there in any
// case.
void showEndingMessage(const QString &title, const QString &text, int timeoutMs = ENDING_MESSAGE_MS);

// The failed save at the end of the run, as showEndingMessage shows it.
void showEndingSaveFailure(const Options::WriteFailure &failure);

// The message of a second program in a working directory where the
// program already runs.
void showAlreadyRunning();
