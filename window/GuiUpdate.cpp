// Program update: the offer after each catalogue load (see ProgramUpdate.h).
#include "catalogue/StreamsManager.h"
#include "window/Gui.h"
#include "window/ProgramUpdate.h"
#include "window/dialogs/PlainText.h"

#include <QLabel>
#include <QProgressBar>

void Gui::offerUpdate()
{
    if (!manager)
        return;
    ProgramUpdate::offerWith(this, manager->getUpdateUrl(), [this](const QString &url) { return getProgramUpdate(url); });
}

ProgramUpdate::ProgramUpdateThread *Gui::getProgramUpdate(const QString &url)
{
    ProgramUpdate::Settings settings;
    // The load's animation has normally removed its bar by now; the status
    // text then carries the progress alone.
    settings.progress = [this](int percent) {
        if (progressBar) {
            progressBar->setMaximum(100);
            progressBar->setValue(percent);
        }
    };
    auto status = [this](const QString &text) {
        if (statusLine2)
            setShownText(statusLine2, text);
    };
    return new ProgramUpdate::ProgramUpdateThread(this, url, status, std::move(settings), this);
}
