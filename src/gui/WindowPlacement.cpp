#include "gui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace gui {

QRect fitIntoScreen(const QRect& wantedFrame, const QRect& available) {
    if (available.isEmpty())
        return wantedFrame;
    const QSize size = wantedFrame.size().boundedTo(available.size());
    const int x =
        std::clamp(wantedFrame.x(), available.x(), available.x() + available.width() - size.width());
    const int y =
        std::clamp(wantedFrame.y(), available.y(), available.y() + available.height() - size.height());
    return {QPoint(x, y), size};
}

namespace {

QMargins ownFrame(const QWidget* w) {
    const QRect frame = w->frameGeometry();
    const QRect inside = w->geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

} // namespace

QMargins frameMargins(const QWidget* window) {
    if (const QMargins own = ownFrame(window); !own.isNull())
        return own;
    const QWidget* parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (parent && !ownFrame(parent).isNull())
        return ownFrame(parent);
    // The desktop frames a window only once it is shown: too much room rather than a cut bottom.
    const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    return {border, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border};
}

void keepOnScreen(QWidget* window, std::optional<QPoint> frameAt) {
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QMargins m = frameMargins(window);
    const QRect frame =
        frameAt ? QRect(*frameAt, window->size().grownBy(m)) : window->geometry().marginsAdded(m);
    // A stored position on a screen that is no longer there: the window's own screen.
    const QScreen* screen = frameAt ? QGuiApplication::screenAt(frame.center()) : nullptr;
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    const QRect fitted = fitIntoScreen(frame, screen->availableGeometry());
    window->resize(fitted.size().shrunkBy(m));
    if (frameAt)
        window->move(fitted.topLeft()); // move() places the frame's corner
}

} // namespace gui
