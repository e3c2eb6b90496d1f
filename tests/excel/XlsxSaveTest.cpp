#include "WorkbookReader.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/XlsxWorkbook.h"

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

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

// Saving changes the form's content only: a link stays a link to the same file, which keeps its
// permissions and owner (giving a file away needs root); a new file gets the usual mode.
TEST(XlsxSave, KeepsWhatTheFileIsToItsUsers) {
    const std::pair<mode_t, bool> cases[] = {{0664, false}, {0640, true}}; // mode, through a link
    for (const auto& [mode, viaLink] : cases) {
        SCOPED_TRACE(viaLink);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("real"));
        const QString real = dir.filePath(QStringLiteral("real/form.xlsx"));
        QFile::copy(kForm, real);
        ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), mode), 0);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(QFile::encodeName(real).constData(), 4321, 4322), 0);
        }
        const QString path = viaLink ? dir.filePath(QStringLiteral("link.xlsx")) : real;
        QFile::link(QStringLiteral("real/form.xlsx"), dir.filePath(QStringLiteral("link.xlsx")));
        const struct stat before = statOf(real);
        auto book = openWorkbook(path);
        book->sheet(QStringLiteral("Master"))->setText(10, 2, QStringLiteral("saved"));
        book->save();
        EXPECT_EQ(QFileInfo(dir.filePath(QStringLiteral("link.xlsx"))).symLinkTarget(), real);
        EXPECT_EQ(openWorkbook(real)->sheet(QStringLiteral("Master"))->cellText(10, 2),
                  QStringLiteral("saved"));
        const struct stat after = statOf(real);
        EXPECT_NE(after.st_ino, before.st_ino); // replaced, not written over
        EXPECT_EQ(after.st_mode & 07777, mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(filesIn(dir.filePath(QStringLiteral("real"))), QStringList{QStringLiteral("form.xlsx")});
    }
    // Under a new name, also through a link whose file does not exist yet.
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(027);
    auto book = openWorkbook(kForm);
    book->saveAs(dir.filePath(QStringLiteral("new.xlsx")));
    QFile::link(QStringLiteral("later.xlsx"), dir.filePath(QStringLiteral("link.xlsx")));
    book->saveAs(dir.filePath(QStringLiteral("link.xlsx")));
    ::umask(oldMask);
    EXPECT_EQ(statOf(dir.filePath(QStringLiteral("new.xlsx"))).st_mode & 07777, 0640u);
    EXPECT_EQ(statOf(dir.filePath(QStringLiteral("later.xlsx"))).st_mode & 07777, 0640u);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("link.xlsx"))).isSymLink());
}

// When the new file cannot take the old one's place, the old one stays as it was, the temporary
// file goes, and the message says which file and why.
TEST(XlsxSave, AFailedReplaceLeavesTheFileAndNoTemporary) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("form.xlsx"));
    QFile::copy(kForm, path);
    QFile form(path);
    form.open(QIODevice::ReadOnly);
    const QByteArray original = form.readAll();
    auto book = xlsx::XlsxWorkbook::open(path);
    book->sheet(QStringLiteral("Master"))->setText(10, 2, QStringLiteral("lost?"));
    const QString busy = QString::fromLocal8Bit(std::strerror(EBUSY));
    book->replace = [&](const QString&, const QString&) { return busy; };
    try {
        book->save();
        ADD_FAILURE() << "saved";
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.text().contains(QDir::toNativeSeparators(path) +
                                      QStringLiteral(" could not be saved: ") + busy))
            << e.text().toStdString();
    }
    form.seek(0);
    EXPECT_EQ(form.readAll(), original);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("form.xlsx")});
}

// A save removes what earlier saves of the same form left when they broke off (its own
// temporary and the zip library's beside it), and nothing else.
TEST(XlsxSave, RemovesOnlyTheFormsStaleTemporaries) {
    const std::pair<const char*, bool> files[] = {
        {".Bericht [1].xlsx.aB3dE9", true},        {".Bericht [1].xlsx.aB3dE9.x1y2z3", true},
        {".Bericht [1].xlsx.aB3dE", false},        {".Bericht [1].xlsx.aB3-E9", false},
        {".Bericht [1].xlsx.aB3dE9.x1y2z", false}, {".Bericht 1.xlsx.aB3dE9", false}, // no pattern
        {"Bericht [1].xlsx.aB3dE9", false},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Bericht [1].xlsx"));
    QFile::copy(kForm, path);
    for (const auto& [name, stale] : files) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Only files: a folder or a link of such a name stays.
    QDir(dir.path()).mkdir(QStringLiteral(".Bericht [1].xlsx.Folder"));
    QFile::link(path, dir.filePath(QStringLiteral(".Bericht [1].xlsx.LinkAB")));
    openWorkbook(path)->save();
    for (const auto& [name, stale] : files)
        EXPECT_EQ(QFile::exists(dir.filePath(QString::fromLatin1(name))), !stale) << name;
    EXPECT_EQ(filesIn(dir.path()).size(), 8);
}
