#include "window/dialogs/FirstStartFlow.h"

#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "window/dialogs/UserWizard.h"

std::optional<bool> FirstStartFlow::run(QWidget *parent, StreamsManager &manager, PPVView &ppvView)
{
    const bool hadMode = Options::getMode().has_value();
    {
        UserWizard wizard(parent);
        wizard.exec();
    }
    Options::setUserWizardEnabled(false);
    const std::optional<bool> mode = Options::getMode();
    if (!mode.has_value())
        Options::setUserWizardEnabled(true);

    if (!hadMode && mode == false) {
        // Limited mode as the next start would apply it: the built-in lock,
        // then adult content off on both switches before anything loads.
        Options::readFromDisk(&manager, &ppvView, false, false);
        manager.setAdultVisible(false);
        ppvView.setAdultVisible(false);
    }
    return mode;
}
