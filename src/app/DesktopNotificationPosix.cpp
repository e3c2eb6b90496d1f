#include "DesktopNotification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

#ifdef DOZIDUVOV_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
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

// The socket of the first "unix:" address: "path=" or "abstract=" (with its leading NUL).
QByteArray unixSocketName(const QString& address) {
    for (const QString& one : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!one.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString& pair : one.mid(5).split(QLatin1Char(','))) {
            if (pair.startsWith(QLatin1String("path=")))
                return QFile::encodeName(pair.mid(5));
            if (pair.startsWith(QLatin1String("abstract=")))
                return QByteArray(1, '\0') + QFile::encodeName(pair.mid(9));
        }
    }
    return QByteArray();
}

bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    pollfd p{fd, events, 0};
    const int left = int(std::max<qint64>(0, deadline.remainingTime()));
    return ::poll(&p, 1, left) == 1 && (p.revents & events);
}

// The bus library blocks without a limit while it authenticates. A bus that accepts and never
// answers (a hung session, a stale address left to a cron job) would hold the run forever, so
// the first step of the handshake is tried here, within the deadline, before the library's turn.
bool busAnswers(const QString& address, const QDeadlineTimer& deadline) {
    const QByteArray name = unixSocketName(address);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof a.sun_path)
        return false;
    std::memcpy(a.sun_path, name.constData(), std::size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(name.size()));
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), length) == 0 ||
              (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline));
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " +
                             QByteArray::number(uint(::geteuid())).toHex() + "\r\n";
    ok = ok && ::send(fd, hello.constData(), std::size_t(hello.size()), MSG_NOSIGNAL) == hello.size() &&
         waitFor(fd, POLLIN, deadline);
    char reply[64];
    ok = ok && ::recv(fd, reply, sizeof reply, 0) > 0;
    ::close(fd);
    return ok;
}

} // namespace

bool sendDesktopNotification(const QString& summary, const QString& body, int timeoutMs) {
    const QString address = sessionBusAddress();
    const QDeadlineTimer deadline(timeoutMs);
    if (address.isEmpty() || !busAnswers(address, deadline))
        return false;
    timeoutMs = int(std::max<qint64>(1, deadline.remainingTime()));
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
