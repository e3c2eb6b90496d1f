#pragma once

class QWidget;

namespace gui {

// Puts a window above all other windows (or lets it go back among them). While the user has
// switched staying on top off, a window asked to be topmost only remembers that it was.
void SetTopmost(QWidget* window, bool topmost);

// The user's switch: every window that asked to be topmost follows it at once.
void setStayOnTop(bool on);
bool stayOnTop();

} // namespace gui
