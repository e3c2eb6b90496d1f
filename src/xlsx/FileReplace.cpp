#include "xlsx/FileReplace.h"

#include "xlsx/Spreadsheet.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace excel::xlsx {

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool isNameCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// ".XXXXXX" at from in name: a dot and six letters or digits.
bool isRandomGroup(QStringView name, qsizetype from) {
    if (name.size() < from + 7 || name[from] != u'.')
        return false;
    for (qsizetype i = from + 1; i < from + 7; ++i)
        if (!isNameCharacter(name[i]))
            return false;
    return true;
}

#ifndef Q_OS_WIN
QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

mode_t currentUmask() {
#ifdef Q_OS_LINUX
    // Read without changing it: other threads may create files meanwhile.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(mask);
            }
        }
#endif
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}
#endif

} // namespace

QString finalTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymbolicLink())
        return info.absoluteFilePath();
    const QString existing = info.canonicalFilePath();
    if (!existing.isEmpty())
        return existing;
    // A link to a file that does not exist yet: saving creates the file where the link leads.
    QString at = info.absoluteFilePath();
    for (int hops = 0; hops < 40 && QFileInfo(at).isSymbolicLink(); ++hops)
        at = QFileInfo(at).symLinkTarget();
    if (QFileInfo(at).isSymbolicLink())
        throw SpreadsheetError(
            QStringLiteral("The workbook %1 cannot be saved: its links lead in a circle.").arg(native(path)));
    return at;
}

bool isTemporaryOf(const QString& fileName, const QString& formFileName) {
    const qsizetype prefix = formFileName.size() + 1;
    if (!fileName.startsWith(u'.') || QStringView(fileName).mid(1, formFileName.size()) != formFileName ||
        !isRandomGroup(fileName, prefix))
        return false;
    return fileName.size() == prefix + 7 ||
           (fileName.size() == prefix + 14 && isRandomGroup(fileName, prefix + 7));
}

void removeStaleTemporaries(const QString& path) {
    const QFileInfo form(path);
    // Compared by hand: a name filter would read "[" or "*" in the form's name as patterns.
    QDirIterator it(form.absolutePath(), QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (isTemporaryOf(it.fileName(), form.fileName()) && !it.fileInfo().isSymbolicLink())
            QFile::remove(it.filePath());
    }
}

void finishTemporary(const QString& temporary, const QString& target) {
#ifdef Q_OS_WIN
    // The folder's inherited permissions apply, as for any new file; only the data is flushed.
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(native(temporary).utf16()), GENERIC_WRITE,
                                 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    const QString reason = flushed ? QString() : qt_error_string(static_cast<int>(GetLastError()));
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!flushed)
        throw SpreadsheetError(QStringLiteral("The workbook %1 could not be written to the disk: %2")
                                   .arg(native(target), reason));
#else
    const int fd = ::open(QFile::encodeName(temporary).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw SpreadsheetError(QStringLiteral("The workbook %1 could not be saved: %2")
                                   .arg(native(target), systemReason(errno)));
    struct stat old;
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0) {
        // Giving a file away needs privileges a user rarely has; the group alone may still work.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno == EPERM) {
            // Not even the group: the file keeps the writer's, as any new file would.
            [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        mode = old.st_mode & 07777;
    } else {
        mode = 0666 & ~currentUmask(); // as any program's new file
    }
    // Set after the owner, which clears the set-id bits. File systems without permissions refuse.
    static_cast<void>(::fchmod(fd, mode));
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (error == EINVAL || error == ENOTSUP) // a file system that cannot flush: nothing to wait for
        error = 0;
    ::close(fd);
    if (error)
        throw SpreadsheetError(QStringLiteral("The workbook %1 could not be written to the disk: %2")
                                   .arg(native(target), systemReason(error)));
#endif
}

QString replaceFile(const QString& from, const QString& target) {
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(native(from).utf16()),
                    reinterpret_cast<const wchar_t*>(native(target).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return qt_error_string(static_cast<int>(GetLastError()));
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(target).constData()) == 0)
        return {};
    return systemReason(errno);
#endif
}

void flushFolder(const QString& folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder); // the move was written through
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    static_cast<void>(::fsync(fd));
    ::close(fd);
#endif
}

} // namespace excel::xlsx
