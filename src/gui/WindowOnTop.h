#pragma once

class QWidget;

namespace gui {

// Puts a window above all other windows (or lets it go back among them).
void SetTopmost(QWidget* window, bool topmost);

} // namespace gui
