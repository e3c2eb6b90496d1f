#pragma once

#include <QString>

namespace app {

// Shows a critical notification on the user's desktop: on Linux through the session bus's
// notification server (org.freedesktop.Notifications), on Windows as a notice from the
// notification area. Takes at most timeoutMs; false when nothing could show it in time.
bool sendDesktopNotification(const QString& summary, const QString& body, int timeoutMs);

} // namespace app
