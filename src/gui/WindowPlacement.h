#pragma once

#include <QMargins>
#include <QRect>

#include <optional>

class QWidget;

namespace gui {

// Where a window's frame goes so that all of it lies in the available part of a screen: where it
// was wanted when it fits, else moved in, and cut to that part's size when it is larger.
QRect fitIntoScreen(const QRect& wantedFrame, const QRect& available);

// What the desktop puts around a window's contents: its own frame once it has one, else its
// parent's, else the style's guess of a title bar.
QMargins frameMargins(const QWidget* window);

// A top-level window not shown yet is cut to the screen it opens on, so that its frame fits. With
// frameAt (where the frame's corner is wanted) it is placed too, moved in as far as it must be;
// else the desktop or the dialog places it.
void keepOnScreen(QWidget* window, std::optional<QPoint> frameAt = std::nullopt);

} // namespace gui
