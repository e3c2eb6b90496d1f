#include "WorkbookReader.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/ContentTypes.h"
#include "xlsx/ZipPackage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace excel;

namespace {

// How many parts of the package have a content type ending so.
int partsOfType(const QString& path, const QString& typeEnd) {
    xlsx::ZipPackage pkg;
    pkg.open(path);
    xlsx::ContentTypes types;
    types.load(pkg);
    int n = 0;
    for (const QString& p : pkg.parts())
        n += types.of(p).endsWith(typeEnd) ? 1 : 0;
    return n;
}

// LibreOffice opens the workbook and writes it again; a missing LibreOffice is a failure.
void expectLibreOfficeConverts(const QString& path, const QString& workDir) {
    const QString out = workDir + QStringLiteral("/converted");
    QProcess p;
    p.start(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + workDir + QStringLiteral("/profile"),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
             QStringLiteral("--outdir"), out, path});
    ASSERT_TRUE(p.waitForStarted()) << "soffice did not start: install libreoffice-calc-nogui";
    ASSERT_TRUE(p.waitForFinished(180000)) << "soffice did not finish";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_FALSE(QDir(out).entryList(QDir::Files).isEmpty()) << p.readAllStandardError().toStdString();
}

} // namespace

// Forms with parts that a sheet copy must renumber, rebind or share, copied into two pages as a
// report does: the result must be sound for the structural checker, openpyxl and LibreOffice.
TEST(RealForms, TwoPagesOfEachFormStaySound) {
    struct Count {
        const char* typeEnd;
        int after; // parts of that type once Master has two copies
    };
    struct Case {
        const char* fixture;
        std::vector<Count> counts;
    };
    const Case cases[] = {
        {"form_controls.xlsx",
         {{"controlproperties+xml", 9}, {"activeX+xml", 3}, {"oleObject", 3}, {"drawing+xml", 3}}},
        {"form_threaded.xlsx",
         {{"threadedcomments+xml", 3}, {"spreadsheetml.comments+xml", 3}, {"person+xml", 1}}},
        {"form_macro.xlsm", {{"vbaProject", 1}, {"worksheet+xml", 4}}},
        // The pages' pivot tables share Master's cache, as a copy made by hand does.
        {"form_pivot.xlsx",
         {{"pivotTable+xml", 3}, {"pivotCacheDefinition+xml", 1}, {"pivotCacheRecords+xml", 1}}},
        // Only Master stays bound to the XML map; the pages keep plain tables.
        {"form_xmlmap.xlsx", {{"table+xml", 3}, {"tableSingleCells+xml", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        QTemporaryDir dir;
        const QString name = QString::fromLatin1(c.fixture);
        const QString path = dir.filePath(name);
        ASSERT_TRUE(QFile::copy(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/") + name, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        {
            auto book = openWorkbook(path);
            Worksheet* p1 = book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                                 QStringLiteral("Seite1"));
            Worksheet* p2 = book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Seite1"),
                                                 QStringLiteral("Seite2"));
            p1->setText(10, 1, QStringLiteral("LOC1.X"));
            p2->setNumber(10, 3, 10.012);
            p2->setText(3, 2, QStringLiteral("4711"));
            p2->clearComment(3, 2); // a thread with its reply on the threaded form
            book->save();
        }
        expectSound(path);
        for (const Count& n : c.counts)
            EXPECT_EQ(partsOfType(path, QString::fromLatin1(n.typeEnd)), n.after) << n.typeEnd;
        const QJsonObject r = readWithOpenpyxl(path);
        EXPECT_EQ(sheetNamesOf(r).mid(0, 3), QStringList({QStringLiteral("Master"), QStringLiteral("Seite1"),
                                                          QStringLiteral("Seite2")}));
        EXPECT_EQ(cellOf(sheetOf(r, QStringLiteral("Seite2")), "C10").value("value").toDouble(), 10.012);
        expectLibreOfficeConverts(path, dir.path());
    }
}

// A copy saved under another name is what its name says: a .xlsx without the VBA project, a .xlsm
// with it; the form itself stays as it was.
TEST(RealForms, ACopyHoldsWhatItsNameAllows) {
    const struct {
        const char *fixture, *copy;
        int vbaParts;
        const char* mainType;
    } cases[] = {
        {"form_macro.xlsm", "kopie.xlsx", 0, "spreadsheetml.sheet.main+xml"},
        {"form_macro.xlsm", "kopie.xlsm", 1, "sheet.macroEnabled.main+xml"},
        {"form_openpyxl.xlsx", "kopie.xlsm", 0, "sheet.macroEnabled.main+xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        QTemporaryDir dir;
        const QString form = dir.filePath(QString::fromLatin1(c.fixture));
        ASSERT_TRUE(QFile::copy(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/") +
                                    QString::fromLatin1(c.fixture),
                                form));
        const int formVbaParts = partsOfType(form, QStringLiteral("vbaProject"));
        const QString copy = dir.filePath(QString::fromLatin1(c.copy));
        {
            auto book = openWorkbook(form);
            book->sheet(book->sheetNames().first())->setText(2, 2, QStringLiteral("4711"));
            book->saveAs(copy);
        }
        EXPECT_EQ(partsOfType(copy, QStringLiteral("vbaProject")), c.vbaParts);
        EXPECT_EQ(partsOfType(copy, QString::fromLatin1(c.mainType)), 1);
        EXPECT_EQ(partsOfType(form, QStringLiteral("vbaProject")), formVbaParts);
        expectSound(copy);
        EXPECT_FALSE(readWithOpenpyxl(copy).isEmpty());
        expectLibreOfficeConverts(copy, dir.path());
    }
}
