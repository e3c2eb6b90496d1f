#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

namespace settings {

// How a written file takes its name. Auto uses a hard link and falls back to CreateThenRename on
// file systems without hard links; the fallback is named so that tests reach it too.
enum class Claim { Auto, CreateThenRename };

// Gives the closed file `from` the name `to` in the same folder, unless a file has that name
// already; false then, and `from` stays as it was. Of two processes claiming one name at the same
// moment exactly one wins. Throws FileError on any other failure.
[[nodiscard]] bool claimName(const QString& from, const QString& to, Claim how = Claim::Auto);

// Removes the temporary files of result files that runs left behind in folder when they were
// killed: those of a process on this host that is gone, any that is a day old, and the visible
// ones of earlier versions ("Teil.csv.a1B2c3") an hour old. Never one a running run writes.
void removeLeftTemporaries(const QString& folder);

// Writes a file's data through to the disk (fsync); 0 when done.
int syncToDisk(int fd);

// Whether the process of this host with that id has ended.
bool processGone(qint64 pid);

// The file name of the program a process of this host runs; empty when that cannot be told.
QString processProgram(qint64 pid);

// What readPlainFile found at a name.
struct PlainFile {
    enum class Kind { Absent, Plain, NotPlain, Unreadable };
    Kind kind = Kind::Absent;
    QByteArray data; // Plain: its first bytes
    QDateTime modified;
    QByteArray identity; // tells this file from one that later takes its name
    QString reason;      // Unreadable: why
};

// Reads the start of a file others may have put there (a lock file in a shared folder). A link at
// the name is never followed and a pipe or device never opened to wait on: both are NotPlain.
PlainFile readPlainFile(const QString& path, qint64 maxBytes);

// Creates the file path, never over anything that has the name (a link or pipe included), and
// opens `file` on it for writing. False when the name is taken; throws FileError otherwise.
[[nodiscard]] bool createNewFile(QFile& file, const QString& path);

// Opens `file` to append to path, created when missing; only a plain file of this user is taken.
// A link at the name is not followed, a pipe or device not waited on: throws FileError saying so.
void openOwnFileForAppend(QFile& file, const QString& path);

// A new file written under a hidden temporary name beside the one planned for it (".<name>.
// <random>.<pid>@<host>"; left behind by a kill, the next run removes it) and made visible
// under a name only if no file has that name: nothing is ever replaced, and nobody sees a half
// file. The file gets the permissions of any newly created file.
class ExclusiveFile {
public:
    // Creates the temporary file in the folder of plannedPath; throws FileError (stage Create).
    explicit ExclusiveFile(const QString& plannedPath);
    ~ExclusiveFile();
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    QFile& device() { return m_temp; }

    // Brings the written file to disk (once), then gives it the name `path` (in the same folder).
    // False when a file of that name exists: the file waits for another name. Throws FileError.
    [[nodiscard]] bool publish(const QString& path);

private:
    void finishWriting();

    QString m_planned;  // names the file in messages until it has its own name
    QString m_tempPath; // a file opened by descriptor forgets its name
    QFile m_temp;
    bool m_closed = false;
    bool m_published = false;
};

} // namespace settings
