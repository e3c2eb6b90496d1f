#include "excel/FormLock.h"

#include "settings/ExclusiveFile.h"
#include "settings/TextCodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <optional>

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

enum class Step { Held, Busy, Retry, Stop };

// What a run writes into its lock file, line by line: process id, program, host, machine id and
// boot id; the last two may be missing.
struct LockInfo {
    qint64 pid = 0;
    QString program;
    QString host;
    QByteArray machine;
    QByteArray boot;
};

QByteArray lockContent() {
    // The program by its file's name, as processProgram() tells it, even when renamed.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n' + program.toUtf8() + '\n' +
           QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' +
           QSysInfo::bootUniqueId() + '\n';
}

std::optional<LockInfo> parseLock(const QByteArray& data) {
    const QList<QByteArray> lines = data.split('\n');
    LockInfo info;
    bool ok = false;
    info.pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || info.pid <= 0)
        return std::nullopt;
    info.program = QString::fromUtf8(lines.value(1).trimmed());
    info.host = QString::fromUtf8(lines.value(2).trimmed());
    info.machine = lines.value(3).trimmed();
    info.boot = lines.value(4).trimmed();
    return info;
}

bool onThisHost(const LockInfo& info) {
    if (!info.host.isEmpty() && info.host != QSysInfo::machineHostName())
        return false;
    // Two computers may share a name; their machine ids tell them apart.
    return info.machine.isEmpty() || info.machine == QSysInfo::machineUniqueId();
}

// Whether the run that made the lock has ended. On this host its process tells: gone, started
// before the last boot, or its id taken by another program since. Whether a run of another host
// lives cannot be seen from here, so its lock counts as left behind once it is older than any run
// takes (staleMs, 0: never). So does a lock that does not say whose it is: a station lost its
// power or its share between creating the file and writing it.
bool leftBehind(const std::optional<LockInfo>& info, const QDateTime& modified, qint64 staleMs) {
    if (info && onThisHost(*info)) {
        const QByteArray boot = QSysInfo::bootUniqueId();
        if (!info->boot.isEmpty() && !boot.isEmpty() && info->boot != boot)
            return true;
        const QString program = settings::processProgram(info->pid);
        return settings::processGone(info->pid) ||
               (!program.isEmpty() && !info->program.isEmpty() &&
                QFileInfo(program).completeBaseName() != QFileInfo(info->program).completeBaseName());
    }
    return staleMs > 0 && modified.isValid() && modified.msecsTo(QDateTime::currentDateTime()) > staleMs;
}

void releaseLock(const QString& lockPath, const QByteArray& identity) {
    // Only our own file: a station may have taken over a lock it judged left behind.
    if (settings::readPlainFile(lockPath, 0).identity == identity)
        QFile::remove(lockPath);
}

Step writeLock(QFile& file, const QString& lockPath, FormLockResult& result, QByteArray& identity) {
    const QByteArray content = lockContent();
    const bool written = file.write(content) == content.size() && file.flush();
    file.close();
    identity = settings::readPlainFile(lockPath, 0).identity;
    if (written && !identity.isEmpty()) {
        result.kind = FormLockResult::Kind::Held;
        return Step::Held;
    }
    QFile::remove(lockPath);
    result.kind = FormLockResult::Kind::Failed;
    result.detail = QStringLiteral("cannot write %1").arg(lockPath);
    return Step::Stop;
}

// One look at the lock: made ours, held by someone, taken over from a run that is over, or refused.
Step lookAtLock(const QString& lockPath, qint64 staleMs, FormLockResult& result, QByteArray& identity) {
    result = {};
    QFile file;
    try {
        if (settings::createNewFile(file, lockPath))
            return writeLock(file, lockPath, result, identity);
    } catch (const settings::FileError& e) {
        result.detail = QStringLiteral("cannot create %1: %2").arg(lockPath, e.reason());
        return Step::Stop;
    }
    const settings::PlainFile held = settings::readPlainFile(lockPath, 4096);
    result.lockFile = lockPath;
    if (held.kind == settings::PlainFile::Kind::Absent)
        return Step::Retry;
    if (held.kind == settings::PlainFile::Kind::NotPlain) {
        result.kind = FormLockResult::Kind::NotAFile;
        return Step::Stop;
    }
    result.kind = FormLockResult::Kind::Busy;
    const std::optional<LockInfo> info = parseLock(held.data);
    if (info)
        result.holder = QStringLiteral("%1 %2 (%3)").arg(info->program).arg(info->pid).arg(info->host);
    if (!leftBehind(info, held.modified, staleMs))
        return Step::Busy;
    // Removed only while it is the file judged: another run may have taken it over meanwhile.
    if (settings::readPlainFile(lockPath, 0).identity != held.identity)
        return Step::Retry;
    return QFile::remove(lockPath) ? Step::Retry : Step::Busy;
}

} // namespace

FormLock::FormLock(QString path, QByteArray identity)
    : m_path(std::move(path)), m_identity(std::move(identity)) {}

FormLock::~FormLock() {
    releaseLock(m_path, m_identity);
}

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
    const QByteArray data = settings::readPlainFile(programLockPath, 4096).data;
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
    return settings::decodeAnsi(data.mid(1, n), settings::CodePage::Windows1252).trimmed();
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
    const QString lockPath = lockPathOf(formPath);
    const QDeadlineTimer deadline(timeoutMs);
    bool told = false;
    int retries = 0;
    for (;;) {
        QByteArray identity;
        const Step step = lookAtLock(lockPath, staleMs, result, identity);
        if (step == Step::Stop)
            return nullptr;
        if (step == Step::Held) {
            const QString program = openElsewhere(formPath);
            if (program.isEmpty())
                return std::unique_ptr<FormLock>(new FormLock(lockPath, identity));
            releaseLock(lockPath, identity);
            result.kind = FormLockResult::Kind::OpenElsewhere;
            result.holder = holderOf(program);
        }
        // A lock taken over is tried again at once, though not forever if others keep taking it.
        if (step == Step::Retry && ++retries < 100)
            continue;
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
