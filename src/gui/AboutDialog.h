#pragma once

#include "gui/DialogContext.h"

#include <QDialog>

namespace gui {

// Title, version and what the program does.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    AboutDialog(const DialogContext& context, QWidget* parent);
};

} // namespace gui
