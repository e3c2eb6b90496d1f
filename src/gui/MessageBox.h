#pragma once

#include "common/Message.h"

namespace gui {

// True when no one can click a box: no application object yet, or the Qt platform is
// "offscreen" or "minimal".
bool isHeadless();

// Shows the message in a message box, or with no display writes it to standard error as one
// line and takes the default button.
common::MsgResult showMessage(const common::Message& message);

} // namespace gui
