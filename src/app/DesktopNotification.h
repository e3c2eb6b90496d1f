#pragma once

#include <QString>

namespace app {

// Shows a critical notification on the user's desktop through the session bus's notification
// server (org.freedesktop.Notifications). Waits at most timeoutMs for the server; false when
// there is no session bus, no server or no answer in time. Needs the application object.
bool sendDesktopNotification(const QString& summary, const QString& body, int timeoutMs);

} // namespace app
