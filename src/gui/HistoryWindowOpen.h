#pragma once

#include "gui/DialogContext.h"

#include <QString>

class QWidget;

namespace gui {

// The history window on a program and characteristic; nothing, after saying why, where this
// build has none.
QWidget* makeHistoryWindow(DialogContext context, QWidget* parent, const QString& program,
                           const QString& characteristic);

} // namespace gui
