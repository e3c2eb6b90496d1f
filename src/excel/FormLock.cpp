#include "excel/FormLock.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStringDecoder>
#include <QSysInfo>
#include <QThread>

namespace excel {

namespace {

constexpr int kPollMs = 100;

// The form as a file: a link is followed, so that two names of one file share one lock.
QString realPath(const QString& formPath) {
    const QFileInfo fi(formPath);
    const QString target = fi.isSymLink() ? fi.canonicalFilePath() : QString();
    return target.isEmpty() ? fi.absoluteFilePath() : target;
}

bool writable(const QString& path) {
    const QFileInfo fi(path);
    // Root may write anything; a form nobody may write is still meant to stay as it is.
    const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return fi.isWritable() && (fi.permissions() & writeBits);
}

QString openElsewhere(const QString& formPath) {
    for (const QString& p : FormLock::programLockPaths(formPath))
        if (QFileInfo::exists(p))
            return p;
    return {};
}

} // namespace

FormLock::FormLock(std::unique_ptr<QLockFile> lock) : m_lock(std::move(lock)) {}

FormLock::~FormLock() = default;

QString FormLock::lockPathOf(const QString& formPath) {
    const QFileInfo fi(realPath(formPath));
    return fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".lock");
}

QStringList FormLock::programLockPaths(const QString& formPath) {
    const QFileInfo fi(realPath(formPath));
    const QString dir = fi.absolutePath() + QLatin1Char('/');
    const QString name = fi.fileName();
    // Excel's owner file and LibreOffice's lock file.
    return {dir + QStringLiteral("~$") + name, dir + QStringLiteral(".~lock.") + name + QLatin1Char('#')};
}

QString FormLock::holderOf(const QString& programLockPath) {
    QFile f(programLockPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.read(4096);
    if (QFileInfo(programLockPath).fileName().startsWith(QLatin1String(".~lock."))) {
        // "Full name,host,login,date,profile;": the full name, else the login, with the host.
        const QStringList fields = QString::fromUtf8(data).split(QLatin1Char(','));
        const QString name = fields.value(0).trimmed();
        const QString login = fields.value(2).trimmed();
        const QString host = fields.value(1).trimmed();
        const QString who = name.isEmpty() ? login : name;
        return host.isEmpty() || who.isEmpty() ? who : who + QStringLiteral(" (") + host + QLatin1Char(')');
    }
    // The owner file starts with the user name's length and the name in the ANSI code page.
    if (data.isEmpty())
        return {};
    const int n = static_cast<unsigned char>(data.at(0));
    if (n == 0 || n >= data.size())
        return {};
    auto decode = QStringDecoder("Windows-1252");
    return QString(decode(data.mid(1, n))).trimmed();
}

std::unique_ptr<FormLock> FormLock::acquire(const QString& formPath, int timeoutMs, FormLockResult& result,
                                            const std::function<void(const QString& holder)>& waiting,
                                            qint64 staleMs) {
    result = {};
    const QString path = realPath(formPath);
    if (QFileInfo::exists(path) && !writable(path)) {
        result.kind = FormLockResult::Kind::ReadOnly;
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(lockPathOf(formPath));
    // A lock whose process is gone is taken over at once; a living holder is never robbed.
    lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(timeoutMs);
    bool told = false;
    for (;;) {
        if (lock->tryLock(0)) {
            const QString program = openElsewhere(formPath);
            if (program.isEmpty()) {
                result.kind = FormLockResult::Kind::Held;
                return std::unique_ptr<FormLock>(new FormLock(std::move(lock)));
            }
            lock->unlock();
            result.kind = FormLockResult::Kind::OpenElsewhere;
            result.holder = holderOf(program);
        } else if (lock->error() == QLockFile::LockFailedError) {
            result.kind = FormLockResult::Kind::Busy;
            result.lockFile = lock->fileName();
            qint64 pid = 0;
            QString host, app;
            if (lock->getLockInfo(&pid, &host, &app))
                result.holder = QStringLiteral("%1 %2 (%3)").arg(app).arg(pid).arg(host);
            // Whether a process on another host lives cannot be seen from here: its lock counts
            // as left behind once it is older than any run takes.
            if (staleMs > 0 && !host.isEmpty() && host != QSysInfo::machineHostName() &&
                QFileInfo(lock->fileName()).lastModified().msecsTo(QDateTime::currentDateTime()) > staleMs) {
                lock->removeStaleLockFile();
                continue;
            }
        } else {
            result.kind = FormLockResult::Kind::Failed;
            result.detail = lock->error() == QLockFile::PermissionError
                                ? QStringLiteral("no permission to create %1").arg(lock->fileName())
                                : QStringLiteral("cannot create %1").arg(lock->fileName());
            return nullptr;
        }
        if (deadline.hasExpired())
            return nullptr;
        if (!told && waiting) {
            told = true;
            waiting(result.holder);
        }
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(kPollMs, deadline.remainingTime())));
    }
}

} // namespace excel
