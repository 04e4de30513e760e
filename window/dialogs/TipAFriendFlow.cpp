#include "TipAFriendFlow.h"

#include "ErrorDisplay.h"
#include "LangMsg.h"
#include "Options.h"
#include "StreamsManager.h"
#include "TipAFriendDialog.h"
#include "TulException.h"

bool TipAFriendFlow::run(QWidget *parent, StreamsManager &manager, const TulErrorHandler &showError)
{
    std::optional<QString> address;
    {
        TipAFriendDialog dialog(parent);
        dialog.exec();
        address = dialog.getInput();
    }
    if (!address || address->length() < 6)
        return false;
    try {
        manager.recruitPerson(Options::getSerial(), *address);
    } catch (const TulException &e) {
        if (showError)
            showError(e);
        else
            ErrorDisplay::show(parent, e, true);
        return false;
    }
    showMessageBox(parent, QMessageBox::Information,
                   LangMsg::getMsg(QStringLiteral("MESSAGEBOX_TIPAFRIEND_SENDT_TITLE")),
                   LangMsg::getMsg(QStringLiteral("MESSAGEBOX_TIPAFRIEND_SENDT_MESSAGE")));
    return true;
}
