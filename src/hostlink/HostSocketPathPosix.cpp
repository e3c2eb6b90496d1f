#include "hostlink/HostSocketPath.h"

#include "hostlink/HostInterfaces.h"
#include "hostlink/HostProtocol.h"

#include <QDir>
#include <QFile>

#include <cstring>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace host {

namespace {

QString unsafe(const QString& folder, const QString& why) {
    return QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(folder), why);
}

// A folder anyone else could enter, or replace, would let them serve made-up results.
void checkOwnFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        throw HostError(QStringLiteral("The folder of the Korvex socket is missing: %1").arg(folder),
                        HostFault::UnsafeFolder, unsafe(folder, QStringLiteral("missing")));
    QString why;
    if (!S_ISDIR(st.st_mode))
        why = QStringLiteral("not a folder");
    else if (st.st_uid != ::geteuid())
        why = QStringLiteral("owned by user %1").arg(st.st_uid);
    else if ((st.st_mode & 077) != 0)
        why = QStringLiteral("mode %1, open to other users").arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    if (!why.isEmpty())
        throw HostError(
            QStringLiteral("The folder of the Korvex socket is not safe: %1").arg(unsafe(folder, why)),
            HostFault::UnsafeFolder, unsafe(folder, why));
}

} // namespace

unsigned currentUser() {
    return ::geteuid();
}

QString hostSocketPath() {
    const QString name = QString::fromLatin1(protocol::kServerName);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder;
    if (!runtime.isEmpty()) {
        folder = runtime;
    } else {
        folder = QDir::tempPath() + QStringLiteral("/korvex-%1").arg(::geteuid());
        // Made private from the start; an existing one must pass the same check as ours.
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            throw HostError(
                QStringLiteral("The folder of the Korvex socket cannot be created: %1").arg(folder),
                HostFault::UnsafeFolder, unsafe(folder, QString::fromLocal8Bit(strerror(errno))));
    }
    checkOwnFolder(folder);
    return folder + QLatin1Char('/') + name;
}

std::optional<unsigned> peerUser(qintptr socketDescriptor) {
#if defined(Q_OS_LINUX)
    struct ucred cred {};
    socklen_t len = sizeof cred;
    if (::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return std::nullopt;
    return cred.uid;
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(static_cast<int>(socketDescriptor), &uid, &gid) != 0)
        return std::nullopt;
    return uid;
#endif
}

} // namespace host
