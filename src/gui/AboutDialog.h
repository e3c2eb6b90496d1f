#pragma once

#include "run/AppState.h"

#include <QDialog>

namespace gui {

// Title, version and what the program does.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    AboutDialog(const run::AppState& state, QWidget* parent);
};

} // namespace gui
