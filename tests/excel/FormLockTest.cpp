#include "excel/FormLock.h"
#include "common/FileBytes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using excel::FormLock;
using excel::FormLockResult;

TEST(FormLock, OneHolderAtATimeAndADeadHoldersLockIsTakenOver) {
    QTemporaryDir dir;
    const QString form = dir.filePath(QStringLiteral("F.xlsx"));
    writeBytes(form, "x");
    FormLockResult why;
    auto held = FormLock::acquire(form, 0, why);
    ASSERT_TRUE(held);
    EXPECT_EQ(why.kind, FormLockResult::Kind::Held);

    // A second run waits for its time, then gives up saying the form is busy.
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(FormLock::acquire(form, 300, why));
    EXPECT_EQ(why.kind, FormLockResult::Kind::Busy);
    EXPECT_GE(t.elapsed(), 300);
    held.reset();
    EXPECT_TRUE(FormLock::acquire(form, 0, why));

    // A run that was killed left its lock: the process is gone, so the lock is stale.
    writeBytes(FormLock::lockPathOf(form),
               "999999\ndoziduvov\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    EXPECT_TRUE(FormLock::acquire(form, 0, why));

    // A run of another station on a shared folder: waited for while it is younger than the
    // limit (the result names the holder, its host and the lock file), taken over when older.
    const QString lock = FormLock::lockPathOf(form);
    writeBytes(lock, "4711\ndoziduvov\nstation9\n");
    EXPECT_FALSE(FormLock::acquire(form, 0, why, {}, 60000));
    EXPECT_EQ(why.kind, FormLockResult::Kind::Busy);
    EXPECT_EQ(why.holder, QStringLiteral("doziduvov 4711 (station9)"));
    EXPECT_EQ(why.lockFile, lock);
    QFile old(lock);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        old.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
    old.close();
    EXPECT_FALSE(FormLock::acquire(form, 0, why, {}, 0)); // no limit: never taken
    EXPECT_TRUE(FormLock::acquire(form, 0, why, {}, 60000));
}

TEST(FormLock, RunsOfEarlierVersionsAndOursHoldTheFormFromEachOther) {
    QTemporaryDir dir;
    const QString form = dir.filePath(QStringLiteral("F.xlsx"));
    writeBytes(form, "x");
    QLockFile earlier(FormLock::lockPathOf(form));
    ASSERT_TRUE(earlier.tryLock(0));
    FormLockResult why;
    EXPECT_FALSE(FormLock::acquire(form, 0, why));
    EXPECT_EQ(why.kind, FormLockResult::Kind::Busy);
    EXPECT_TRUE(why.holder.contains(QString::number(QCoreApplication::applicationPid())));
    earlier.unlock();
    auto ours = FormLock::acquire(form, 0, why);
    ASSERT_TRUE(ours);
    QLockFile later(FormLock::lockPathOf(form));
    EXPECT_FALSE(later.tryLock(0));
}

TEST(FormLock, ALockOfThisHostIsTakenOverOnlyWhenItsRunIsOver) {
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    const QByteArray program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const QByteArray machine = QSysInfo::machineUniqueId();
    const QByteArray boot = QSysInfo::bootUniqueId();
    const struct {
        const char* what;
        QByteArray content;
        bool taken;
    } cases[] = {
        {"running", pid + '\n' + program + '\n' + host + '\n' + machine + '\n' + boot + '\n', false},
        {"an earlier boot", pid + '\n' + program + '\n' + host + '\n' + machine + "\nearlier\n",
         !boot.isEmpty()},
        {"its id now another program's", pid + "\nsomething-else\n" + host + '\n', true},
        // A computer of the same name: its processes cannot be seen from here.
        {"another machine", pid + '\n' + program + '\n' + host + "\nother-machine\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString form = dir.filePath(QStringLiteral("F.xlsx"));
        writeBytes(form, "x");
        writeBytes(FormLock::lockPathOf(form), c.content);
        FormLockResult why;
        EXPECT_EQ(bool(FormLock::acquire(form, 0, why, {}, 60000)), c.taken);
    }
}

TEST(FormLock, ASpreadsheetProgramsLockFileNamesWhoHasTheForm) {
    QTemporaryDir dir;
    const QString form = dir.filePath(QStringLiteral("Pruefbericht.xlsx"));
    writeBytes(form, "x");
    const struct {
        const char* file;
        QByteArray content;
        const char* holder;
    } cases[] = {
        {".~lock.Pruefbericht.xlsx#", "Erika Muster,qs-pc,erika,07.12.2026 10:00,file:///x;",
         "Erika Muster (qs-pc)"},
        {".~lock.Pruefbericht.xlsx#", ",qs-pc,erika,07.12.2026 10:00,file:///x;", "erika (qs-pc)"},
        // The owner file: the name's length, then the name in the Windows code page.
        {"~$Pruefbericht.xlsx", QByteArray("\x0bJ\xfcrgen Ma\xdf") + QByteArray(40, ' '), "Jürgen Maß"},
        {"~$Pruefbericht.xlsx", QByteArray(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString lock = dir.filePath(QString::fromLatin1(c.file));
        writeBytes(lock, c.content);
        FormLockResult why;
        EXPECT_FALSE(FormLock::acquire(form, 0, why));
        EXPECT_EQ(why.kind, FormLockResult::Kind::OpenElsewhere);
        EXPECT_EQ(why.holder, QString::fromUtf8(c.holder));
        QFile::remove(lock);
    }
    FormLockResult why;
    EXPECT_TRUE(FormLock::acquire(form, 0, why));
}

// Whether f returned within seconds; if it waits on the pipe, writers let it go and it failed.
template <typename F> bool endsByItself(const QString& pipe, F f) {
    auto done = std::async(std::launch::async, f);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return true;
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

TEST(FormLock, ALinkOrPipeAtALockFilesNameIsNeverOpened) {
    QTemporaryDir dir;
    const QString form = dir.filePath(QStringLiteral("F.xlsx"));
    writeBytes(form, "x");
    const QString ours = FormLock::lockPathOf(form);
    // A link to a lock that would be taken over (its process is gone): not followed, not removed.
    const QString target = dir.filePath(QStringLiteral("target"));
    const QByteArray stale = "999999\ndoziduvov\n" + QSysInfo::machineHostName().toUtf8() + "\n";
    const struct {
        QString name;
        bool pipe;
        FormLockResult::Kind kind;
    } cases[] = {
        {ours, true, FormLockResult::Kind::NotAFile},
        {ours, false, FormLockResult::Kind::NotAFile},
        {dir.filePath(QStringLiteral("~$F.xlsx")), true, FormLockResult::Kind::OpenElsewhere},
        {dir.filePath(QStringLiteral(".~lock.F.xlsx#")), true, FormLockResult::Kind::OpenElsewhere},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + (c.pipe ? " pipe" : " link"));
        writeBytes(target, stale);
        if (c.pipe)
            ASSERT_EQ(::mkfifo(QFile::encodeName(c.name).constData(), 0666), 0);
        else
            ASSERT_TRUE(QFile::link(target, c.name));
        FormLockResult why;
        std::unique_ptr<FormLock> lock;
        ASSERT_TRUE(
            endsByItself(c.pipe ? c.name : target, [&] { lock = FormLock::acquire(form, 300, why); }));
        EXPECT_FALSE(lock);
        EXPECT_EQ(why.kind, c.kind);
        EXPECT_EQ(why.holder, QString());
        if (c.kind == FormLockResult::Kind::NotAFile) {
            EXPECT_EQ(why.lockFile, ours);
        }
        EXPECT_EQ(readBytes(target), stale);
        ASSERT_TRUE(QFile::remove(c.name));
    }
    FormLockResult why;
    EXPECT_TRUE(FormLock::acquire(form, 0, why));
}

TEST(FormLock, ALockFileThatSaysNothingIsTakenOverOnlyWhenOld) {
    // A station lost its power or its share between creating the lock file and writing it.
    const struct {
        QByteArray content;
        int ageSeconds;
        qint64 staleMs;
        bool taken;
    } cases[] = {
        {"", 0, 60000, false}, // a run may be about to write it
        {"", 120, 60000, true},
        {"\x1a\x1a\x1a\n\n", 120, 60000, true},
        {"doziduvov\n4711\n", 120, 60000, true},
        {"", 120, 0, false}, // no limit: never
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.toStdString() + " " + std::to_string(c.ageSeconds));
        QTemporaryDir dir;
        const QString form = dir.filePath(QStringLiteral("F.xlsx"));
        writeBytes(form, "x");
        const QString lock = FormLock::lockPathOf(form);
        writeBytes(lock, c.content);
        QFile old(lock);
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-c.ageSeconds),
                                    QFileDevice::FileModificationTime));
        old.close();
        FormLockResult why;
        auto held = FormLock::acquire(form, 0, why, {}, c.staleMs);
        EXPECT_EQ(bool(held), c.taken);
        if (c.taken) {
            EXPECT_TRUE(
                readBytes(lock).startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
        } else {
            EXPECT_EQ(why.kind, FormLockResult::Kind::Busy);
            EXPECT_EQ(why.holder, QString()); // the message says it in words
            EXPECT_EQ(readBytes(lock), c.content);
        }
        held.reset();
        EXPECT_EQ(QFileInfo::exists(lock), !c.taken);
    }
}
