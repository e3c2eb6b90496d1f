#pragma once

#include "mainwindow/AppState.h"

#include <QDialog>

namespace mainwindow {

// Title, version and what the program does.
class frm_About : public QDialog {
    Q_OBJECT

public:
    frm_About(const AppState& state, QWidget* parent);
};

} // namespace mainwindow
