#include "gui/WindowOnTop.h"

#include <QApplication>
#include <QWidget>

namespace gui {

namespace {
bool g_stayOnTop = true;
const char* const kAsked = "doziduvovTopmost";

void applyFlag(QWidget* window, bool topmost) {
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topmost)
        return;
    // Changing the flag hides a shown window; show it again where it was.
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    if (wasVisible)
        window->show();
}
} // namespace

void SetTopmost(QWidget* window, bool topmost) {
    if (!window)
        return;
    window->setProperty(kAsked, topmost);
    applyFlag(window, topmost && g_stayOnTop);
}

void setStayOnTop(bool on) {
    g_stayOnTop = on;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->property(kAsked).toBool())
            applyFlag(w, on);
}

bool stayOnTop() {
    return g_stayOnTop;
}

} // namespace gui
