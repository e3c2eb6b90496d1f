#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLockFile;

// One writer per form: a run holds the form from opening to saving, so that two runs (two batch
// files, two stations on a shared folder) never save over each other's part, and a form a
// spreadsheet program has open is left alone.
namespace excel {

struct FormLockResult {
    enum class Kind { Held, Busy, OpenElsewhere, ReadOnly, Failed };
    Kind kind = Kind::Failed;
    QString holder;   // who has it: a run as "program pid (host)", or as a spreadsheet program's lock
                      // file names the user; may be empty
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
    // (a station on a shared folder) when it is older than staleMs (0: never).
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
    explicit FormLock(std::unique_ptr<QLockFile> lock);
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace excel
