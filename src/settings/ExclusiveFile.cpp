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
#include <iterator>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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

// A new file of that name, never one that exists, nor a link's target; -1 (errno set) otherwise.
// 0666 less the umask, as any file the user creates.
int openNewFile(const QString& path) {
#ifdef Q_OS_WIN
    return ::_wopen(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                    _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

QString linkRefused() {
    return QStringLiteral("it is a link, which is not followed");
}

QString notPlainRefused() {
    return QStringLiteral("it is not a plain file but a pipe, a device or a folder");
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

} // namespace

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

QString processProgram(qint64 pid) {
#ifdef Q_OS_WIN
    const HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return {};
    wchar_t name[1024];
    DWORD size = static_cast<DWORD>(std::size(name));
    const bool named = ::QueryFullProcessImageNameW(h, 0, name, &size);
    ::CloseHandle(h);
    return named ? QFileInfo(QString::fromWCharArray(name, static_cast<int>(size))).fileName() : QString();
#else
    // Where /proc names it (Linux); a program replaced while it runs is still the same one.
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return QFileInfo(target).fileName();
#endif
}

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
    // A fresh hidden name beside the planned one, never someone else's file, with the mode of any
    // file the user creates, not the owner-only mode of a temporary file.
    for (int attempt = 0;; ++attempt) {
        const QString path = planned.absolutePath() + QStringLiteral("/.") + planned.fileName() +
                             QLatin1Char('.') + randomSuffix() + temporaryTag();
        const int fd = openNewFile(path);
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

bool createNewFile(QFile& file, const QString& path) {
    const int fd = openNewFile(path);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return false;
        throw FileError(path, qt_error_string(error), FileError::Stage::Create);
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        closeDescriptor(fd);
        QFile::remove(path);
        throw FileError(path, file.errorString(), FileError::Stage::Create);
    }
    return true;
}

#ifdef Q_OS_WIN

namespace {

std::wstring nativeName(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

QDateTime fromFileTime(const FILETIME& t) {
    const qint64 ticks = (qint64(t.dwHighDateTime) << 32) | t.dwLowDateTime; // 100 ns since 1601
    return QDateTime::fromMSecsSinceEpoch(ticks / 10000 - 11644473600000LL);
}

// A handle opened with FILE_FLAG_OPEN_REPARSE_POINT is the link itself when the name is one.
bool plainDiskFile(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

} // namespace

PlainFile readPlainFile(const QString& path, qint64 maxBytes) {
    PlainFile f;
    const HANDLE h = ::CreateFileW(nativeName(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        f.reason = qt_error_string(static_cast<int>(error));
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            f.kind = PlainFile::Kind::Unreadable;
        WIN32_FILE_ATTRIBUTE_DATA a{};
        if (f.kind == PlainFile::Kind::Unreadable &&
            ::GetFileAttributesExW(nativeName(path).c_str(), GetFileExInfoStandard, &a)) {
            f.modified = fromFileTime(a.ftLastWriteTime);
            f.identity = QByteArray::number(f.modified.toMSecsSinceEpoch());
        }
        return f;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (plainDiskFile(h, info)) {
        f.kind = PlainFile::Kind::Plain;
        f.data.resize(maxBytes);
        DWORD got = 0;
        if (!::ReadFile(h, f.data.data(), static_cast<DWORD>(maxBytes), &got, nullptr))
            got = 0;
        f.data.truncate(got);
        f.modified = fromFileTime(info.ftLastWriteTime);
        f.identity = QByteArray::number(info.dwVolumeSerialNumber) + ' ' +
                     QByteArray::number((qint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow) + ' ' +
                     QByteArray::number(f.modified.toMSecsSinceEpoch());
    } else {
        f.kind = PlainFile::Kind::NotPlain;
    }
    ::CloseHandle(h);
    return f;
}

void openOwnFileForAppend(QFile& file, const QString& path) {
    // Append access alone keeps every write at the end. Who may write the file, its ACL decides.
    const HANDLE h =
        ::CreateFileW(nativeName(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw FileError(path, qt_error_string(static_cast<int>(::GetLastError())), FileError::Stage::Create);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!plainDiskFile(h, info)) {
        const bool link =
            ::GetFileType(h) == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        ::CloseHandle(h);
        throw FileError(path, link ? linkRefused() : notPlainRefused(), FileError::Stage::Create);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        throw FileError(path, qt_error_string(errno), FileError::Stage::Create);
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        closeDescriptor(fd);
        throw FileError(path, file.errorString(), FileError::Stage::Create);
    }
}

#else

namespace {

void describe(PlainFile& f, const struct stat& st) {
    f.modified =
        QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
    // The change time too: a new file may get the number of one just removed.
    f.identity = QByteArray::number(qulonglong(st.st_dev)) + ' ' + QByteArray::number(qulonglong(st.st_ino)) +
                 ' ' + QByteArray::number(qint64(st.st_ctim.tv_sec)) + '.' +
                 QByteArray::number(qint64(st.st_ctim.tv_nsec));
}

QByteArray readUpTo(int fd, qint64 maxBytes) {
    QByteArray data(maxBytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, data.data() + got, static_cast<size_t>(maxBytes - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    data.truncate(got);
    return data;
}

// A name that cannot be opened: a link, or a file we may not read whose age still tells something.
PlainFile unopened(const QByteArray& name, int error) {
    PlainFile f;
    f.reason = qt_error_string(error);
    struct stat st {};
    if (error == ENOENT || ::lstat(name.constData(), &st) != 0)
        return f;
    f.kind = S_ISREG(st.st_mode) ? PlainFile::Kind::Unreadable : PlainFile::Kind::NotPlain;
    describe(f, st);
    return f;
}

} // namespace

PlainFile readPlainFile(const QString& path, qint64 maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    // Without waiting: a pipe opens at once, and is then told from a plain file.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return unopened(name, errno);
    PlainFile f;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        f.kind = PlainFile::Kind::Unreadable;
        f.reason = qt_error_string(errno);
    } else if (!S_ISREG(st.st_mode)) {
        f.kind = PlainFile::Kind::NotPlain;
    } else {
        f.kind = PlainFile::Kind::Plain;
        f.data = readUpTo(fd, maxBytes);
        describe(f, st);
    }
    ::close(fd);
    return f;
}

void openOwnFileForAppend(QFile& file, const QString& path) {
    // Without waiting: a pipe nobody reads fails at once (ENXIO) rather than holding the run.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        throw FileError(path,
                        error == ELOOP ? linkRefused()
                        : error == ENXIO ? notPlainRefused()
                                         : qt_error_string(error),
                        FileError::Stage::Create);
    }
    // Another user's file, however writable, is not ours to add to: whoever planted it reads along.
    struct stat st {};
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = qt_error_string(errno);
    else if (!S_ISREG(st.st_mode))
        refusal = notPlainRefused();
    else if (st.st_uid != ::geteuid())
        refusal = QStringLiteral("it belongs to another user (user id %1)").arg(st.st_uid);
    else if (::fcntl(fd, F_SETFL, O_APPEND) != 0)
        refusal = qt_error_string(errno);
    if (!refusal.isEmpty()) {
        ::close(fd);
        throw FileError(path, refusal, FileError::Stage::Create);
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw FileError(path, file.errorString(), FileError::Stage::Create);
    }
}

#endif

} // namespace settings
