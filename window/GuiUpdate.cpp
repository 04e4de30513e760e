// Program update: the offer after each catalogue load (see ProgramUpdate.h).
#include "Gui.h"
#include "ProgramUpdate.h"
#include "StreamsManager.h"

#include <QLabel>
#include <QProgressBar>

void Gui::offerUpdate()
{
    if (!manager)
        return;
    ProgramUpdate::Settings settings;
    // The load's animation has normally removed its bar by now; the status
    // text then carries the progress alone.
    settings.progress = [this](int percent) {
        if (progressBar) {
            progressBar->setMaximum(100);
            progressBar->setValue(percent);
        }
    };
    ProgramUpdate::offer(
        this, manager->getUpdateUrl(),
        [this](const QString &text) {
            if (statusLine2)
                statusLine2->setText(text);
        },
        std::move(settings));
}
