#pragma once

#include <QByteArray>

// Whether a window can be shown at all, decided before any Qt platform is loaded: a platform that
// cannot start aborts the process, so an unattended run must not try one.
namespace app {

struct DisplayEnvironment {
    QByteArray display;        // DISPLAY
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray runtimeDir;     // XDG_RUNTIME_DIR
    QByteArray platform;       // QT_QPA_PLATFORM
};

DisplayEnvironment currentDisplayEnvironment();

// True when the platform asked for draws nowhere ("offscreen", "minimal"), or no display is set,
// or the display's server does not answer.
bool noDisplay(const DisplayEnvironment& env);

} // namespace app
