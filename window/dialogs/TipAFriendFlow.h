#pragma once

#include "window/dialogs/ModalDialog.h"

class QWidget;
class StreamsManager;

// The tell-a-friend action: asks for the friend's address on parent (the
// main window), sends it with the account key through the manager and
// confirms with "Sent"; an address shorter than 6 characters, Cancel and the
// close box send nothing. A failure of the request goes to showError (the
// error dialog when none is given). Returns whether the request was sent and
// answered "OK".
class TipAFriendFlow
{
public:
    static bool run(QWidget *parent, StreamsManager &manager, const TulErrorHandler &showError);
};
