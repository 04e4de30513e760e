#pragma once

#include "window/dialogs/ModalDialog.h"

#include <QString>
#include <functional>

class QWidget;

// The last steps of a form that sends something to the maker's site.
namespace SendFlow {

// Runs send. When it throws a TulException, shows it with showError, or
// without one with the error display on parent (stack trace on), and gives
// false. Else shows the information box whose title and message are the
// texts of these keys, and gives true.
bool sendAndConfirm(QWidget *parent, const std::function<void()> &send, const TulErrorHandler &showError,
                    const QString &titleKey, const QString &messageKey);

} // namespace SendFlow
