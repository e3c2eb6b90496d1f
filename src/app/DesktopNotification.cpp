#include "DesktopNotification.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

#ifdef DOZIDUVOV_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace app {

#ifdef DOZIDUVOV_HAVE_DBUS
namespace {

// Only a bus that is already there: letting the bus library launch one for a run started by cron
// or a service would leave a daemon behind and show nothing.
QString sessionBusAddress() {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (!runtime.isEmpty() && QFileInfo(socket).exists())
        return QStringLiteral("unix:path=") + socket;
    return QString();
}

} // namespace

bool sendDesktopNotification(const QString& summary, const QString& body, int timeoutMs) {
    const QString address = sessionBusAddress();
    if (address.isEmpty())
        return false;
    const QString name = QStringLiteral("doziduvov-notification");
    bool shown = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (bus.isConnected()) {
            const QString service = QStringLiteral("org.freedesktop.Notifications");
            QDBusMessage call = QDBusMessage::createMethodCall(
                service, QStringLiteral("/org/freedesktop/Notifications"), service, QStringLiteral("Notify"));
            QVariantMap hints;
            hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(2)); // critical
            hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.nortave.doziduvov"));
            // Servers read the body as markup; the messages hold paths with "&" and "<".
            call << QStringLiteral("doziduvov") << 0u << QStringLiteral("org.nortave.doziduvov") << summary
                 << body.toHtmlEscaped() << QStringList() << hints << -1;
            shown = bus.call(call, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return shown;
}

#else

bool sendDesktopNotification(const QString&, const QString&, int) {
    return false;
}

#endif

} // namespace app
