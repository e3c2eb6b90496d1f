#include "gui/WindowOnTop.h"

#include <QWidget>

namespace gui {

void SetTopmost(QWidget* window, bool topmost) {
    if (!window || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topmost)
        return;
    // Changing the flag hides a shown window; show it again where it was.
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    if (wasVisible)
        window->show();
}

} // namespace gui
