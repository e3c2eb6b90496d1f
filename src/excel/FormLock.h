#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// One writer per form: a run holds the form from opening to saving, so that two runs (two batch
// files, two stations on a shared folder) never save over each other's part, and a form a
// spreadsheet program has open is left alone.
namespace excel {

struct FormLockResult {
    // NotAFile: a link, pipe or device has the lock file's name; it is never opened to wait on.
    enum class Kind { Held, Busy, OpenElsewhere, ReadOnly, NotAFile, Failed };
    Kind kind = Kind::Failed;
    QString holder;   // who has it: a run as "program pid (host)", or as a spreadsheet program's lock
                      // file names the user; empty when the lock file does not say
    QString lockFile; // the lock file that holds the form
    QString detail;   // the system's reason when the lock could not be made
};

class FormLock {
public:
    ~FormLock();
    FormLock(const FormLock&) = delete;
    FormLock& operator=(const FormLock&) = delete;

    // Waits up to timeoutMs for the form (calling waiting once when it has to wait). On success
    // the returned lock holds the form until it is destroyed; otherwise result says why. A lock
    // of a run on this host whose process is gone is taken over at once; one of another host
    // (a station on a shared folder), or one that does not say whose it is, when it is older
    // than staleMs (0: never).
    static std::unique_ptr<FormLock> acquire(const QString& formPath, int timeoutMs, FormLockResult& result,
                                             const std::function<void(const QString& holder)>& waiting = {},
                                             qint64 staleMs = 0);

    // The lock file of our runs beside the form.
    static QString lockPathOf(const QString& formPath);
    // The lock files spreadsheet programs leave beside a form they have open.
    static QStringList programLockPaths(const QString& formPath);
    // The user a spreadsheet program's lock file names; "" when it does not say.
    static QString holderOf(const QString& programLockPath);

private:
    FormLock(QString path, QByteArray identity);
    QString m_path;
    QByteArray m_identity;
};

} // namespace excel
