#include "window/dialogs/SendFlow.h"

#include "catalogue/LangMsg.h"
#include "catalogue/TulException.h"
#include "window/dialogs/ErrorDisplay.h"

bool SendFlow::sendAndConfirm(QWidget *parent, const std::function<void()> &send, const TulErrorHandler &showError,
                              const QString &titleKey, const QString &messageKey)
{
    try {
        send();
    } catch (const TulException &e) {
        if (showError)
            showError(e);
        else
            ErrorDisplay::show(parent, e, true);
        return false;
    }
    showMessageBox(parent, QMessageBox::Information, LangMsg::getMsg(titleKey), LangMsg::getMsg(messageKey));
    return true;
}
