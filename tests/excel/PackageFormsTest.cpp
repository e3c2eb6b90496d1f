#include "WorkbookReader.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/Xml.h"
#include "xlsx/ZipPackage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace excel;

namespace {

// soffice converts the workbook: it exits with 0 and writes the converted file.
QString convertWithLibreOffice(const QString& path, const QTemporaryDir& dir) {
    const QString out = dir.filePath(QStringLiteral("converted"));
    QProcess p;
    // A profile of its own: other test runs may convert at the same time.
    p.start(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
             QStringLiteral("--outdir"), out, path});
    if (!p.waitForStarted())
        return QStringLiteral("soffice cannot be started");
    if (!p.waitForFinished(180000))
        return QStringLiteral("soffice did not finish");
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("soffice exited with %1: %2")
            .arg(p.exitCode())
            .arg(QString::fromUtf8(p.readAllStandardError()));
    if (!QFileInfo(out + QLatin1Char('/') + QFileInfo(path).fileName()).isFile())
        return QStringLiteral("soffice wrote no file");
    return {};
}

// A run as the report makes it: pages copied from the template, then filled.
void run(const QString& path, const QStringList& pages, const QString& after, bool formatCells = true) {
    auto book = openWorkbook(path);
    QString previous = after;
    for (int i = 0; i < pages.size(); ++i) {
        Worksheet* page = book->copySheetAfter(QStringLiteral("Master"), previous, pages[i]);
        page->setText(5, 1, QStringLiteral("Text ") + pages[i]);
        page->setText(5, 2, QStringLiteral("Auftrag")); // a text the form already holds
        page->setNumber(5, 3, 10.5 + i);
        if (formatCells) {
            CellFormat red; // as a value out of tolerance: a cell format of its own
            red.fontColour = std::optional<Colour>(paletteColour(3));
            page->format(Range::cell(5, 3), red);
        }
        previous = pages[i];
    }
    book->save();
}

} // namespace

// Forms whose packages are sound but unusual: each is filled twice, and the result stays sound
// for the structural checker, openpyxl and LibreOffice.
TEST(PackageForms, UnusualPackagesAreFilledTwiceAndStaySound) {
    const QStringList fixtures = {
        QStringLiteral("package_overrides.xlsx"),   QStringLiteral("package_module.xlsx"),
        QStringLiteral("package_case.xlsx"),        QStringLiteral("package_root.xlsx"),
        QStringLiteral("package_prefixed.xlsx"),    QStringLiteral("package_prefixed_sst.xlsx"),
        QStringLiteral("package_ns0.xlsx"),         QStringLiteral("package_no_cellstyles.xlsx"),
        QStringLiteral("package_unlinked_sst.xlsx")};
    for (const QString& fixture : fixtures) {
        SCOPED_TRACE(fixture.toStdString());
        QTemporaryDir dir;
        const QString path = dir.filePath(fixture);
        QFile::copy(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/") + fixture, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        try {
            // openpyxl reads the styles from xl/styles.xml alone, not from a workbook at the root.
            const bool format = fixture != QLatin1String("package_root.xlsx");
            run(path, {QStringLiteral("Seite1"), QStringLiteral("Seite2")}, QStringLiteral("Master"), format);
            run(path, {QStringLiteral("Seite3"), QStringLiteral("Seite4")}, QStringLiteral("Seite2"), format);
        } catch (const SpreadsheetError& e) {
            ADD_FAILURE() << e.text().toStdString();
            continue;
        }
        expectSound(path);

        {
            // Every page has a picture of its own, with its own relationships.
            const auto book = openWorkbook(path);
            EXPECT_EQ(book->sheetNames(), QStringList({"Master", "Seite1", "Seite2", "Seite3", "Seite4"}));
            xlsx::ZipPackage pkg;
            pkg.open(path);
            int drawings = 0;
            for (const QString& part : pkg.parts())
                drawings += part.contains(QLatin1String("drawings/"), Qt::CaseInsensitive) &&
                            !part.endsWith(QLatin1String(".rels"));
            EXPECT_EQ(drawings, 5);
            // One shared strings part, the one that was there; the cell styles the new cell
            // formats name exist.
            EXPECT_FALSE(pkg.contains(QStringLiteral("xl/sharedStrings1.xml")));
            for (const QString& part : pkg.parts())
                if (part.endsWith(QLatin1String("styles.xml")))
                    EXPECT_TRUE(pkg.read(part).contains("cellStyleXfs count=\"1\"")) << part.toStdString();
        }

        const QJsonObject r = readWithOpenpyxl(path);
        if (r.isEmpty()) {
            ADD_FAILURE() << "openpyxl cannot read it";
            continue;
        }
        EXPECT_EQ(sheetNamesOf(r), QStringList({"Master", "Seite1", "Seite2", "Seite3", "Seite4"}));
        const QJsonObject master = sheetOf(r, QStringLiteral("Master"));
        EXPECT_EQ(cellOf(master, "A1").value("value").toString(), QStringLiteral("Prüfprotokoll"));
        EXPECT_TRUE(cellOf(master, "A5").isEmpty());
        for (int i = 1; i <= 4; ++i) {
            const QString name = QStringLiteral("Seite%1").arg(i);
            const QJsonObject page = sheetOf(r, name);
            EXPECT_EQ(cellOf(page, "A1").value("value").toString(), QStringLiteral("Prüfprotokoll")) << i;
            EXPECT_EQ(cellOf(page, "B2").value("value").toDouble(), 42.0) << i;
            EXPECT_EQ(cellOf(page, "A5").value("value").toString(), QStringLiteral("Text ") + name);
            EXPECT_EQ(cellOf(page, "B5").value("value").toString(), QStringLiteral("Auftrag")) << i;
            EXPECT_EQ(cellOf(page, "C5").value("value").toDouble(), 10.5 + (i - 1) % 2) << i;
        }

        EXPECT_EQ(convertWithLibreOffice(path, dir), QString());
    }
}

TEST(PackageForms, APreReleaseFormatIsRefused) {
    // The Excel 2007 beta named the workbook's elements in a namespace of its own.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("beta.xlsx"));
    QFile::copy(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/package_overrides.xlsx"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        xlsx::ZipPackage pkg;
        pkg.open(path);
        QByteArray wb = pkg.read(QStringLiteral("xl/workbook.xml"));
        wb.replace(xlsx::kMainNs, "http://schemas.microsoft.com/office/excel/2006/2");
        pkg.write(QStringLiteral("xl/workbook.xml"), wb);
        pkg.save(path);
    }
    try {
        openWorkbook(path);
        ADD_FAILURE() << "opened";
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("2006/2"))) << e.text().toStdString();
    }
}

TEST(PackageForms, PartNamesAreNormalisedAndComparedIgnoringAsciiCase) {
    struct Case {
        const char* source;
        const char* target;
        const char* part;
        const char* rels;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"", "/workbook.xml", "workbook.xml", "_rels/workbook.xml.rels"},
             {"", "./workbook.xml", "workbook.xml", "_rels/workbook.xml.rels"},
             {"workbook.xml", "worksheets/../styles.xml", "styles.xml", "_rels/styles.xml.rels"},
             {"xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml",
              "xl/worksheets/_rels/sheet1.xml.rels"},
             {"xl/worksheets/sheet1.xml", "../drawings/drawing1.xml", "xl/drawings/drawing1.xml",
              "xl/drawings/_rels/drawing1.xml.rels"}}) {
        SCOPED_TRACE(c.target);
        const QString part = xlsx::resolvePart(QString::fromUtf8(c.source), QString::fromUtf8(c.target));
        EXPECT_EQ(part, QString::fromUtf8(c.part));
        EXPECT_EQ(xlsx::relsPartOf(part), QString::fromUtf8(c.rels));
        EXPECT_EQ(xlsx::resolvePart(c.source, xlsx::relativeTarget(c.source, part)), part);
    }
    // Only ASCII letters fold: "Ä" and "ä" name two parts.
    EXPECT_EQ(xlsx::partKey(QStringLiteral("xl/SharedStrings.XML")), QStringLiteral("xl/sharedstrings.xml"));
    EXPECT_NE(xlsx::partKey(QStringLiteral("xl/Ä.xml")), xlsx::partKey(QStringLiteral("xl/ä.xml")));
    xlsx::ZipPackage pkg;
    pkg.write(QStringLiteral("xl/Sheet1.xml"), "a");
    pkg.write(QStringLiteral("/xl/sheet1.xml"), "b");
    EXPECT_EQ(pkg.parts(), QStringList{QStringLiteral("xl/Sheet1.xml")});
    EXPECT_EQ(pkg.read(QStringLiteral("XL/SHEET1.XML")), QByteArray("b"));
    EXPECT_TRUE(pkg.contains(QStringLiteral("/xl/./worksheets/../SHEET1.xml")));
    EXPECT_EQ(pkg.freeName(QStringLiteral("xl/sheet1.xml")), QStringLiteral("xl/sheet2.xml"));
}

TEST(PackageForms, APrefixIsDroppedOnlyWhereTheNamespaceStays) {
    const QByteArray main = "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    struct Case {
        QByteArray xml;
        const char* rootName;
        const char* childName;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"<x:sst " + main + "><x:si><x:t>a</x:t></x:si></x:sst>", "sst", "si"},
             // Under another default namespace the element keeps its prefix.
             {"<x:sst " + main + "><e xmlns=\"urn:other\"><x:si/></e></x:sst>", "sst", "e"},
             // An element of no namespace would be claimed by the new default: nothing changes.
             {"<x:sst " + main + "><si/></x:sst>", "x:sst", "si"},
             {"<x:sst xmlns:x=\"urn:other\"><x:si/></x:sst>", "x:sst", "x:si"}}) {
        SCOPED_TRACE(c.xml.toStdString());
        const auto doc = xlsx::parseXml(c.xml, QStringLiteral("part"));
        const pugi::xml_node root = doc->document_element();
        EXPECT_STREQ(root.name(), c.rootName);
        EXPECT_STREQ(root.first_child().name(), c.childName);
    }
    const auto nested =
        xlsx::parseXml("<x:sst " + main + "><e xmlns=\"urn:other\"><x:si/></e></x:sst>", QStringLiteral("p"));
    EXPECT_STREQ(nested->document_element().first_child().first_child().name(), "x:si");
}

TEST(PackageForms, RelationshipIdsAreFoundByTheirNamespace) {
    const QByteArray rel = "\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    for (const auto& [xml, id] : std::initializer_list<std::pair<QByteArray, const char*>>{
             {"<s xmlns:r=" + rel + " r:id=\"rId1\"/>", "rId1"},
             {"<w xmlns:rel=" + rel + "><s rel:id=\"rId2\"/></w>", "rId2"},
             {"<s xmlns:o=\"urn:other\" o:id=\"x\" xmlns:r=" + rel + " r:id=\"rId3\"/>", "rId3"},
             {"<s xmlns:o=\"urn:other\" o:id=\"x\"/>", ""},
             {"<s r:id=\"\" xmlns:r=" + rel + "/>", ""}}) {
        const auto doc = xlsx::parseXml(xml, QStringLiteral("part"));
        const pugi::xml_node s = doc->document_element().first_child() ? doc->document_element().first_child()
                                                                       : doc->document_element();
        EXPECT_EQ(xlsx::relIdOf(s), QString::fromUtf8(id)) << xml.toStdString();
    }
}

TEST(PackageForms, OldMacroSheetsAreKeptButNeverTargets) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("form.xlsx"));
    QFile::copy(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/package_module.xlsx"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    auto book = openWorkbook(path);
    EXPECT_EQ(book->sheetNames(), QStringList{QStringLiteral("Master")});
    EXPECT_EQ(book->sheet(QStringLiteral("Module")), nullptr);
    EXPECT_THROW(
        book->copySheetAfter(QStringLiteral("Module"), QStringLiteral("Master"), QStringLiteral("S")),
        SpreadsheetError);
    EXPECT_THROW(
        book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Module2"), QStringLiteral("S")),
        SpreadsheetError);
    EXPECT_THROW(book->renameSheet(QStringLiteral("Module"), QStringLiteral("M")), SpreadsheetError);
    EXPECT_THROW(book->addSheet(QStringLiteral("MODULE")), SpreadsheetError);
    book->addSheet(QStringLiteral("Seite1"));
    book->save();
    xlsx::ZipPackage pkg;
    pkg.open(path);
    const QByteArray workbook = pkg.read(QStringLiteral("xl/workbook.xml"));
    EXPECT_TRUE(workbook.contains("<sheet name=\"Module\" sheetId=\"2\" r:id=\"\" />") ||
                workbook.contains("<sheet name=\"Module\" sheetId=\"2\" r:id=\"\"/>"))
        << workbook.toStdString();
    EXPECT_TRUE(workbook.contains("name=\"Module2\" sheetId=\"3\""));
}
