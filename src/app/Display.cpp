#include "Display.h"

#include <QList>
#include <QtGlobal>

#include <cstring>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#define DOZIDUVOV_X11_DISPLAYS 1
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace app {

#ifdef DOZIDUVOV_X11_DISPLAYS
namespace {

bool connects(int family, const sockaddr* address, socklen_t length) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, address, length) == 0;
    ::close(fd);
    return ok;
}

bool unixSocketAnswers(const QByteArray& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof a.sun_path)
        return false;
    std::memcpy(a.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

bool tcpAnswers(const QByteArray& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = connects(a->ai_family, a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

// DISPLAY is [host]:number[.screen]; an empty host or "unix" is the local socket.
bool x11Answers(const QByteArray& display) {
    const int colon = display.lastIndexOf(':');
    if (colon < 0)
        return false;
    const QByteArray host = display.left(colon);
    QByteArray number = display.mid(colon + 1);
    if (const int dot = number.indexOf('.'); dot >= 0)
        number.truncate(dot);
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok || n < 0)
        return false;
    if (host.isEmpty() || host == "unix")
        return unixSocketAnswers("/tmp/.X11-unix/X" + QByteArray::number(n));
    return tcpAnswers(host, 6000 + n);
}

bool waylandAnswers(const QByteArray& name, const QByteArray& runtimeDir) {
    if (name.startsWith('/'))
        return unixSocketAnswers(name);
    return !runtimeDir.isEmpty() && unixSocketAnswers(runtimeDir + '/' + name);
}

} // namespace
#endif

DisplayEnvironment currentDisplayEnvironment() {
    return {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_RUNTIME_DIR"),
            qgetenv("QT_QPA_PLATFORM")};
}

bool noDisplay(const DisplayEnvironment& env) {
    const QByteArray platform = env.platform.split(':').first().trimmed();
    if (platform == "offscreen" || platform == "minimal")
        return true;
#ifdef DOZIDUVOV_X11_DISPLAYS
    // Other platforms (a frame buffer, VNC) need neither variable.
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return false;
    if (!env.waylandDisplay.isEmpty() && waylandAnswers(env.waylandDisplay, env.runtimeDir))
        return false;
    if (!env.display.isEmpty() && x11Answers(env.display))
        return false;
    return true;
#else
    return false;
#endif
}

} // namespace app
