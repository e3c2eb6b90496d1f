#pragma once

#include "run/AppState.h"

#include <QDialog>

namespace mainwindow {

// Title, version and what the program does.
class frm_About : public QDialog {
    Q_OBJECT

public:
    frm_About(const run::AppState& state, QWidget* parent);
};

} // namespace mainwindow
