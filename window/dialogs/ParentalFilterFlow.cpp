#include "window/dialogs/ParentalFilterFlow.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "window/dialogs/ModalDialog.h"
#include "window/dialogs/ParentalFilter.h"
#include "window/dialogs/PasswordEntryDialog.h"
#include "window/dialogs/SelectionDialogParental.h"

ParentalFilterResult ParentalFilterFlow::run(QWidget *parent, StreamsManager &manager, PPVView &ppvView,
                                             const std::function<void()> &reloadCatalogue)
{
    ParentalFilterResult result;
    result.adultVisible = manager.getAdultVisible();

    if (!Options::evalPasswd(QString())) {
        PasswordEntryDialog prompt(parent);
        prompt.exec();
        if (!prompt.isValid() && prompt.getSelect() == 0) {
            showMessageBox(parent, QMessageBox::Critical, QString(),
                           LangMsg::getMsg(QStringLiteral("PASSWORD_NOT_CORRECT")));
            result.outcome = ParentalFilterResult::PasswordRefused;
            return result;
        }
        if (prompt.getSelect() != 0)
            return result;
    }

    int choice;
    {
        SelectionDialogParental selection(parent, manager.getAdultVisible());
        selection.exec();
        choice = selection.getValue();
    }

    switch (choice) {
    case SelectionDialogParental::CHANGE_PASSWORD: {
        ParentalFilter setPassword(parent);
        setPassword.exec();
        result.outcome = ParentalFilterResult::PasswordDialog;
        result.passwordStored = setPassword.passwordStored();
        break;
    }
    case SelectionDialogParental::TOGGLE_ADULT: {
        manager.setAdultVisible(!manager.getAdultVisible());
        ppvView.setAdultVisible(manager.getAdultVisible());
        result.outcome = ParentalFilterResult::AdultToggled;
        result.adultVisible = manager.getAdultVisible();
        // Records already loaded stay until the reload replaces them: what is
        // on screen must go now.
        result.removeAdultTabs = !result.adultVisible;
        result.stopAdultStream = !result.adultVisible;
        result.reloadRequested = true;
        if (reloadCatalogue) {
            try {
                reloadCatalogue();
            } catch (const TulException &e) {
                result.reloadError = e;
            }
        }
        break;
    }
    case SelectionDialogParental::REMOVE_PASSWORD:
        showMessageBox(parent, QMessageBox::Information, QString(),
                       LangMsg::getMsg(QStringLiteral("SELECTION_DIALOG_RESETPASSWORD")));
        Options::setPasswd(QString());
        result.outcome = ParentalFilterResult::PasswordRemoved;
        break;
    default:
        break;
    }
    return result;
}
