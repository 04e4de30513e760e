#pragma once

#include "window/dialogs/ModalDialog.h"

#include <QStringList>
#include <optional>
#include <vector>

#include "catalogue/StreamInfo.h"

class QWidget;
class StreamsManager;
class StreamsView;

// The stream suggestion action: offers the genres, languages and countries
// of allView (the all-streams view) in the form opened on parent (the main
// window), sends the suggestion with its description through the manager
// and confirms with "Sent". A failure of the request goes to showError (the
// error dialog when none is given). Returns whether the suggestion was sent
// and answered "OK".
class StreamTipsFlow
{
public:
    static bool run(QWidget *parent, StreamsManager &manager, StreamsView &allView, const TulErrorHandler &showError);

    // A selector's texts as form choices: none for an empty selector, else
    // the texts of every entry after the first ("all") one, in order.
    static std::optional<QStringList> choices(const std::vector<StreamFilterPtr> &entries);
};
