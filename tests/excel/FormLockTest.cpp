#include "excel/FormLock.h"
#include "common/FileBytes.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>
#include <QTemporaryDir>

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
