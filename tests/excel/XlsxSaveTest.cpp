#include "WorkbookReader.h"
#include "excel/Spreadsheet.h"
#include "excel/xlsx/XlsxWorkbook.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace excel;

namespace {

const QString kForm = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/form_openpyxl.xlsx");

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QString saveError(Workbook& book, const QString& as = {}) {
    try {
        as.isEmpty() ? book.save() : book.saveAs(as);
    } catch (const SpreadsheetError& e) {
        return e.text();
    }
    return {};
}

} // namespace

// Saving changes the form's content only: a link stays a link to the same file, which keeps its
// permissions and owner; a new file gets the mode any program's new file gets.
TEST(XlsxSave, KeepsWhatTheFileIsToItsUsers) {
    struct Case {
        const char* name;
        mode_t mode;
        bool viaLink;
        bool otherOwner; // only a privileged process can give a file away
    };
    const Case cases[] = {
        {"shared with the group", 0664, false, false},
        {"another user's file", 0640, false, true},
        {"opened through a link elsewhere", 0604, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("real"));
        const QString real = dir.filePath(QStringLiteral("real/form.xlsx"));
        QFile::copy(kForm, real);
        ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), c.mode), 0);
        const bool giveAway = c.otherOwner && ::geteuid() == 0;
        if (giveAway) {
            ASSERT_EQ(::chown(QFile::encodeName(real).constData(), 4321, 4322), 0);
        }
        const QString path = c.viaLink ? dir.filePath(QStringLiteral("link.xlsx")) : real;
        if (c.viaLink) {
            ASSERT_TRUE(QFile::link(QStringLiteral("real/form.xlsx"), path));
        }
        const struct stat before = statOf(real);
        {
            auto book = openWorkbook(path);
            book->sheet(QStringLiteral("Master"))->setText(10, 2, QStringLiteral("saved"));
            book->save();
        }
        EXPECT_EQ(QFileInfo(path).isSymLink(), c.viaLink);
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), c.viaLink ? real : QString());
        EXPECT_EQ(openWorkbook(real)->sheet(QStringLiteral("Master"))->cellText(10, 2),
                  QStringLiteral("saved"));
        const struct stat after = statOf(real);
        EXPECT_NE(after.st_ino, before.st_ino); // replaced, not written over
        EXPECT_EQ(after.st_mode & 07777, c.mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(filesIn(dir.filePath(QStringLiteral("real"))), QStringList{QStringLiteral("form.xlsx")});
    }

    // Saved under a new name, also through a link whose file does not exist yet.
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(027);
    auto book = openWorkbook(kForm);
    book->saveAs(dir.filePath(QStringLiteral("new.xlsx")));
    ASSERT_TRUE(QFile::link(QStringLiteral("later.xlsx"), dir.filePath(QStringLiteral("link.xlsx"))));
    book->saveAs(dir.filePath(QStringLiteral("link.xlsx")));
    ::umask(oldMask);
    EXPECT_EQ(statOf(dir.filePath(QStringLiteral("new.xlsx"))).st_mode & 07777, 0640u);
    EXPECT_EQ(statOf(dir.filePath(QStringLiteral("later.xlsx"))).st_mode & 07777, 0640u);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("link.xlsx"))).isSymLink());
    expectSound(dir.filePath(QStringLiteral("later.xlsx")));
}

// When the new file cannot take the old one's place, the old one stays as it was, the temporary
// file goes, and the message says which file and why.
TEST(XlsxSave, AFailedReplaceLeavesTheFileAndNoTemporary) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("form.xlsx"));
    QFile::copy(kForm, path);
    const QByteArray original = bytesOf(path);
    auto book = xlsx::XlsxWorkbook::open(path);
    book->sheet(QStringLiteral("Master"))->setText(10, 2, QStringLiteral("lost?"));

    book->replace = [](const QString&, const QString&) {
        return QString::fromLocal8Bit(std::strerror(EBUSY));
    };
    QString error = saveError(*book);
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EBUSY)))) << error.toStdString();
    EXPECT_EQ(bytesOf(path), original);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("form.xlsx")});

    // The system's own refusal: a folder with a file in it where the workbook should go.
    book->replace = {};
    const QString folder = dir.filePath(QStringLiteral("folder.xlsx"));
    QDir(dir.path()).mkdir(QStringLiteral("folder.xlsx"));
    QFile::copy(kForm, folder + QStringLiteral("/inside.xlsx"));
    error = saveError(*book, folder);
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EISDIR)))) << error.toStdString();
    EXPECT_EQ(filesIn(folder), QStringList{QStringLiteral("inside.xlsx")});
    EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("folder.xlsx"), QStringLiteral("form.xlsx")}));

    book->save(); // nothing in the way any more
    EXPECT_EQ(openWorkbook(path)->sheet(QStringLiteral("Master"))->cellText(10, 2), QStringLiteral("lost?"));
}

// A save removes what earlier saves of the same form left when they broke off (its own
// temporary and the zip library's beside it), and nothing else.
TEST(XlsxSave, RemovesOnlyTheFormsStaleTemporaries) {
    const QString form = QStringLiteral("Bericht [1].xlsx"); // brackets are no pattern here
    const std::pair<QString, bool> files[] = {
        {QStringLiteral(".Bericht [1].xlsx.aB3dE9"), true},
        {QStringLiteral(".Bericht [1].xlsx.aB3dE9.x1y2z3"), true},
        {QStringLiteral(".Bericht [1].xlsx.aB3dE"), false},
        {QStringLiteral(".Bericht [1].xlsx.aB3dE9x"), false},
        {QStringLiteral(".Bericht [1].xlsx.aB3-E9"), false},
        {QStringLiteral(".Bericht [1].xlsx.aB3dE9.x1y2z"), false},
        {QStringLiteral(".Bericht 1.xlsx.aB3dE9"), false},
        {QStringLiteral("Bericht [1].xlsx.aB3dE9"), false},
        {QStringLiteral(".Bericht [1].xlsx.bak"), false},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(form);
    QFile::copy(kForm, path);
    for (const auto& [name, stale] : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("left over");
    }
    // Only files: a folder or a link of such a name stays.
    QDir(dir.path()).mkdir(QStringLiteral(".Bericht [1].xlsx.Folder"));
    QFile::link(path, dir.filePath(QStringLiteral(".Bericht [1].xlsx.LinkAB")));
    openWorkbook(path)->save();
    for (const auto& [name, stale] : files)
        EXPECT_EQ(QFile::exists(dir.filePath(name)), !stale) << name.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral(".Bericht [1].xlsx.Folder"))).isDir());
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral(".Bericht [1].xlsx.LinkAB"))).isSymLink());
}
