#include "settings/ExclusiveFile.h"

#include "settings/TextCodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace settings {

namespace {

QString randomSuffix() {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s(6, QLatin1Char('x'));
    for (QChar& c : s)
        c = QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))]);
    return s;
}

void closeDescriptor(int fd) {
#ifdef Q_OS_WIN
    ::_close(fd);
#else
    ::close(fd);
#endif
}


#ifndef Q_OS_WIN
// Errors by which a file system says it has no hard links (FAT, some network mounts).
bool noHardLinks(int error) {
    return error == EPERM || error == EXDEV || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}
#endif

} // namespace

int syncToDisk(int fd) {
#ifdef Q_OS_WIN
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}

#ifdef Q_OS_WIN

bool claimName(const QString& from, const QString& to, Claim) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    const QString src = QDir::toNativeSeparators(from);
    const QString dst = QDir::toNativeSeparators(to);
    if (MoveFileExW(reinterpret_cast<LPCWSTR>(src.utf16()), reinterpret_cast<LPCWSTR>(dst.utf16()),
                    MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return false;
    throw FileError(to, qt_error_string(static_cast<int>(error)));
}

#else

bool claimName(const QString& from, const QString& to, Claim how) {
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (how == Claim::Auto) {
        // link() never replaces: the name is ours or it was taken.
        if (::link(src.constData(), dst.constData()) == 0) {
            ::unlink(src.constData());
            return true;
        }
        const int error = errno;
        if (error == EEXIST)
            return false;
        if (!noHardLinks(error))
            throw FileError(to, qt_error_string(error));
    }
    // Claim the name with an empty file only one process can create, then put the written file in
    // its place. For that moment the name shows an empty file, never a part of the text.
    const int fd = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return false;
        throw FileError(to, qt_error_string(error));
    }
    ::close(fd);
    if (::rename(src.constData(), dst.constData()) != 0) {
        const int error = errno;
        ::unlink(dst.constData());
        throw FileError(to, qt_error_string(error));
    }
    return true;
}

#endif

namespace {

QString temporaryTag() {
    // Who writes it: a run on this host whose process is gone left it behind.
    return QStringLiteral(".%1@%2").arg(QCoreApplication::applicationPid()).arg(QSysInfo::machineHostName());
}

bool processGone(qint64 pid) {
#ifdef Q_OS_WIN
    HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool gone = ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    ::CloseHandle(h);
    return gone;
#else
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

} // namespace

void removeLeftTemporaries(const QString& folder) {
    // ".<name>.<six letters or digits>.<pid>@<host>": ours, by a run of this or another host.
    static const QRegularExpression ours(QStringLiteral("^\\..+\\.[A-Za-z0-9]{6}\\.(\\d+)@([^@/\\\\]+)$"));
    // "<name>.csv.<six>": what earlier versions left, visible, beside a result file. Their random
    // part has a capital or a digit, which a word such as "backup" has not.
    static const QRegularExpression earlier(
        QStringLiteral("^[^.].*\\.(csv|txt|dfq|pdf)\\.(?=[a-z]*[A-Z0-9])[A-Za-z0-9]{6}$"));
    const QDateTime now = QDateTime::currentDateTime();
    const QString host = QSysInfo::machineHostName();
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        if (fi.isSymLink())
            continue;
        // No write takes a day: whoever made it then, it was left behind.
        const bool old = fi.lastModified().secsTo(now) > 86400;
        bool left = false;
        if (const auto m = ours.match(fi.fileName()); m.hasMatch())
            left = old || (m.captured(2) == host && processGone(m.captured(1).toLongLong()));
        else if (earlier.match(fi.fileName()).hasMatch())
            left = fi.lastModified().secsTo(now) > 3600;
        if (left)
            QFile::remove(fi.absoluteFilePath());
    }
}

ExclusiveFile::ExclusiveFile(const QString& plannedPath) : m_planned(plannedPath) {
    const QFileInfo planned(plannedPath);
    removeLeftTemporaries(planned.absolutePath());
    // A fresh hidden name beside the planned one, never someone else's file; 0666 less the
    // umask, as any file the user creates, not the owner-only mode of a temporary file.
    for (int attempt = 0;; ++attempt) {
        const QString path = planned.absolutePath() + QStringLiteral("/.") + planned.fileName() +
                             QLatin1Char('.') + randomSuffix() + temporaryTag();
#ifdef Q_OS_WIN
        const int fd =
            ::_wopen(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                     _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd >= 0) {
            m_tempPath = path;
            if (!m_temp.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
                closeDescriptor(fd);
                QFile::remove(path);
                throw FileError(plannedPath, m_temp.errorString(), FileError::Stage::Create);
            }
            return;
        }
        const int error = errno;
        if (error != EEXIST || attempt >= 100)
            throw FileError(plannedPath, qt_error_string(error), FileError::Stage::Create);
    }
}

ExclusiveFile::~ExclusiveFile() {
    if (m_temp.isOpen())
        m_temp.close();
    if (!m_published)
        QFile::remove(m_tempPath);
}

void ExclusiveFile::finishWriting() {
    if (m_closed)
        return;
    m_closed = true;
    QString reason;
    if (!m_temp.flush())
        reason = m_temp.errorString();
    else if (syncToDisk(m_temp.handle()) != 0) // before it has a name: a crash leaves no empty result
        reason = qt_error_string(errno);
    m_temp.close();
    if (reason.isEmpty() && m_temp.error() != QFileDevice::NoError)
        reason = m_temp.errorString();
    if (!reason.isEmpty())
        throw FileError(m_planned, reason);
}

bool ExclusiveFile::publish(const QString& path) {
    finishWriting();
    Q_ASSERT(!m_published);
    m_published = claimName(m_tempPath, path);
    return m_published;
}

} // namespace settings
