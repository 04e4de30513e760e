#include "window/dialogs/TipAFriendFlow.h"

#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "window/dialogs/SendFlow.h"
#include "window/dialogs/TipAFriendDialog.h"

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
    return SendFlow::sendAndConfirm(
        parent, [&] { manager.recruitPerson(Options::getSerial(), *address); }, showError,
        QStringLiteral("MESSAGEBOX_TIPAFRIEND_SENDT_TITLE"), QStringLiteral("MESSAGEBOX_TIPAFRIEND_SENDT_MESSAGE"));
}
