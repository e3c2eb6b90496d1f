#include "WorkbookReader.h"
#include "common/FileBytes.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/XlsxWorkbook.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

using namespace excel;

namespace {

const QString kFixtures = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/");

QString copyFixture(const QTemporaryDir& dir, const QString& name) {
    const QString to = dir.filePath(name);
    QFile::copy(kFixtures + name, to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

// A zip holding the given parts, for packages no spreadsheet program would write.
void writeZip(const QString& path, const std::vector<std::pair<QString, QByteArray>>& parts) {
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    std::vector<QByteArray> keep;
    for (const auto& [name, data] : parts) {
        keep.push_back(data);
        zip_file_add(
            z, name.toUtf8().constData(),
            zip_source_buffer(z, keep.back().constData(), static_cast<zip_uint64_t>(keep.back().size()), 0),
            ZIP_FL_OVERWRITE);
    }
    zip_close(z);
}

QString openError(const QString& path) {
    try {
        openWorkbook(path);
    } catch (const SpreadsheetError& e) {
        return e.text();
    }
    return {};
}

// Rows written straight into the first sheet's empty sheetData, as another program leaves them.
void fillFirstSheet(const QString& path, const char* sheetData) {
    xlsx::ZipPackage pkg;
    pkg.open(path);
    QByteArray sheet = pkg.read(QStringLiteral("xl/worksheets/sheet1.xml"));
    sheet.replace("<sheetData/>", sheetData);
    pkg.write(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
    pkg.save(path);
}

} // namespace

TEST(Xlsx, RefusesWhatIsNoUsableWorkbook) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
        const char* says;
    };
    const Case cases[] = {
        {"text.xlsx", [](const QString& p) { writeBytes(p, "not a workbook"); }, "not an Excel workbook"},
        {"old.xls",
         [](const QString& p) {
             writeBytes(p, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, '\0'));
         },
         "save the form as an Excel workbook (.xlsx)"},
        {"secret.xlsx",
         [](const QString& p) {
             writeBytes(p, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(100, '\0') +
                               QByteArray("E\0n\0c\0r\0y\0p\0t\0i\0o\0n\0I\0n\0f\0o\0", 28));
         },
         "password"},
        {"empty.xlsx",
         [](const QString& p) {
             writeZip(p, {{"a.txt", "x"}});
         },
         "not an Excel workbook"},
        {"strict.xlsx",
         [](const QString& p) {
             writeZip(
                 p,
                 {{"[Content_Types].xml", "<Types/>"},
                  {"_rels/.rels",
                   "<Relationships><Relationship Id=\"r\" Type=\"http://purl.oclc.org/ooxml/officeDocument/"
                   "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                  {"xl/workbook.xml",
                   "<workbook xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"/>"}});
         },
         "Strict"},
        {"nosheet.xlsx",
         [](const QString& p) {
             writeZip(p, {{"[Content_Types].xml", "<Types/>"},
                          {"_rels/.rels",
                           "<Relationships><Relationship Id=\"r\" Type=\"http://schemas.openxmlformats.org/"
                           "officeDocument/2006/relationships/officeDocument\" "
                           "Target=\"xl/workbook.xml\"/></Relationships>"}});
         },
         "lacks its part"},
        {"entity.xlsx",
         [](const QString& p) {
             writeZip(p, {{"[Content_Types].xml",
                           "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><Types>&e;</Types>"},
                          {"_rels/.rels", "<Relationships/>"}});
         },
         "not"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        c.make(path);
        const QString error = openError(path);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.says))) << c.name << ": " << error.toStdString();
    }
}

TEST(Xlsx, RefusesAPartTooLargeToBeAForm) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bomb.xlsx"));
    writeZip(path, {{"[Content_Types].xml", "<Types/>"}, {"xl/big.xml", QByteArray(257 * 1024 * 1024, ' ')}});
    EXPECT_TRUE(openError(path).contains(QStringLiteral("too large")));
}

TEST(Xlsx, NewWorkbookCellsAndFormatsReadBackWithOpenpyxl) {
    QTemporaryDir dir;
    auto book = newWorkbook(QStringLiteral("Protokoll"));
    Worksheet* ws = book->sheet(QStringLiteral("protokoll")); // names are found ignoring case
    ASSERT_NE(ws, nullptr);
    ws->setText(1, 1, QStringLiteral("Merkmalstyp und Element"));
    ws->setText(1, 8, QStringLiteral("ATol"));
    ws->setText(3, 1, QStringLiteral(" Leerzeichen "));
    ws->setNumber(3, 2, 0.0125);
    ws->setNumber(3, 3, -12345.678);
    ws->setDate(4, 1, QDate(2026, 12, 6));
    ws->setTime(5, 1, QTime(14, 5, 9));
    ws->setText(2, 2, QStringLiteral("Merkmalstyp und Element")); // reused shared string
    CellFormat red;
    red.singleUnderline = true;
    red.fontColour = std::optional<Colour>(paletteColour(3));
    ws->format(Range::cell(3, 2), red);
    CellFormat head;
    head.fill = std::optional<Colour>(paletteColour(33));
    head.bold = true;
    ws->format({1, 1, 1, 8}, head);
    CellFormat cols;
    cols.numberFormat = QStringLiteral("#,##0.0000");
    cols.horizontal = HAlign::Center;
    ws->formatColumns(2, 8, cols);
    ws->merge({2, 1, 2, 8});
    ws->setColumnWidth(2, 8, 20);
    ws->autoFitColumn(1);
    ws->freezeFirstRow();
    EXPECT_EQ(ws->cellText(3, 2), QStringLiteral("0.0125"));
    EXPECT_EQ(ws->cellText(3, 1), QStringLiteral(" Leerzeichen "));
    EXPECT_TRUE(ws->isEmpty(9, 9));
    EXPECT_THROW(ws->setNumber(5, 1, std::nan("")), SpreadsheetError);
    const QString path = dir.filePath(QStringLiteral("neu.xlsx"));
    book->saveAs(path);
    expectSound(path);

    const QJsonObject s = sheetOf(readWithOpenpyxl(path), QStringLiteral("Protokoll"));
    ASSERT_FALSE(s.isEmpty());
    EXPECT_EQ(cellOf(s, "A1").value("value").toString(), QStringLiteral("Merkmalstyp und Element"));
    EXPECT_TRUE(cellOf(s, "A1").value("bold").toBool());
    EXPECT_EQ(cellOf(s, "A1").value("fill").toString(), QStringLiteral("00CCFF"));
    EXPECT_EQ(cellOf(s, "B3").value("value").toDouble(), 0.0125);
    EXPECT_EQ(cellOf(s, "B3").value("underline").toString(), QStringLiteral("single"));
    EXPECT_EQ(cellOf(s, "B3").value("colour").toString(), QStringLiteral("FF0000"));
    EXPECT_EQ(cellOf(s, "B3").value("format").toString(), QStringLiteral("#,##0.0000"));
    EXPECT_EQ(cellOf(s, "C3").value("h").toString(), QStringLiteral("center"));
    EXPECT_EQ(cellOf(s, "A4").value("value").toString(), QStringLiteral("2026-12-06T00:00:00"));
    EXPECT_EQ(cellOf(s, "A5").value("value").toString(), QStringLiteral("14:05:09"));
    EXPECT_EQ(s.value("merged").toArray().first().toString(), QStringLiteral("A2:H2"));
    EXPECT_EQ(s.value("freeze").toString(), QStringLiteral("A2"));
    EXPECT_EQ(s.value("widths").toObject().value("B").toDouble(), 20.0);
}

TEST(Xlsx, CopiesOfAFormKeepEverythingAndStaySound) {
    for (const QString& fixture :
         {QStringLiteral("form_openpyxl.xlsx"), QStringLiteral("form_libreoffice.xlsx")}) {
        SCOPED_TRACE(fixture.toStdString());
        QTemporaryDir dir;
        const QString path = copyFixture(dir, fixture);
        {
            auto book = openWorkbook(path);
            const QStringList before = book->sheetNames();
            book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                 QStringLiteral("Seite1"));
            Worksheet* p2 = book->copySheetAfter(QStringLiteral("MASTER"), QStringLiteral("Seite1"),
                                                 QStringLiteral("Seite2"));
            EXPECT_THROW(book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                              QStringLiteral("seite1")),
                         SpreadsheetError);
            EXPECT_THROW(book->addSheet(QStringLiteral("a/b")), SpreadsheetError);
            p2->setText(10, 2, QStringLiteral("LOC1.X"));
            p2->setNumber(10, 7, 10.012);
            p2->clearComment(10, 1);
            p2->clearComment(3, 2);
            book->addSheet(QStringLiteral("UniqueIDs"))->setText(1, 1, QStringLiteral("ID"));
            QStringList expected = before;
            expected.insert(1, QStringLiteral("Seite1"));
            expected.insert(2, QStringLiteral("Seite2"));
            expected << QStringLiteral("UniqueIDs");
            EXPECT_EQ(book->sheetNames(), expected);
            book->save();
        }
        expectSound(path);
        const QJsonObject r = readWithOpenpyxl(path);
        ASSERT_FALSE(r.isEmpty());
        const QJsonObject master = sheetOf(r, QStringLiteral("Master"));
        const QJsonObject s1 = sheetOf(r, QStringLiteral("Seite1"));
        const QJsonObject s2 = sheetOf(r, QStringLiteral("Seite2"));
        EXPECT_EQ(s1.value("merged"), master.value("merged"));
        EXPECT_EQ(s1.value("comments"), master.value("comments"));
        EXPECT_EQ(s1.value("images").toInt(), master.value("images").toInt());
        EXPECT_GE(master.value("images").toInt(), 1);
        EXPECT_LT(s2.value("comments").toArray().size(), master.value("comments").toArray().size());
        EXPECT_EQ(cellOf(s2, "B10").value("value").toString(), QStringLiteral("LOC1.X"));
        EXPECT_EQ(cellOf(s2, "G10").value("value").toDouble(), 10.012);
        // Each page prints its own area, with its own titles.
        EXPECT_FALSE(master.value("print_area").toArray().isEmpty());
        EXPECT_EQ(s1.value("print_area"), master.value("print_area"));
        EXPECT_EQ(s2.value("print_titles"), master.value("print_titles"));
        // Tables get names of their own; hidden sheets stay hidden.
        const QJsonArray tables = s1.value("tables").toArray();
        if (!master.value("tables").toArray().isEmpty()) {
            ASSERT_EQ(tables.size(), 1);
            EXPECT_NE(tables.first(), master.value("tables").toArray().first());
        }
        for (const QJsonValue& s : r.value("sheets").toArray()) {
            const QString name = s.toObject().value("name").toString();
            if (name == QStringLiteral("Hilfswerte") || name == QStringLiteral("Intern")) {
                EXPECT_EQ(s.toObject().value("state").toString(), QStringLiteral("hidden"));
            }
        }
    }
}

TEST(Xlsx, AnInterruptedSaveLeavesTheFileAsItWas) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("form_openpyxl.xlsx"));
    const QByteArray original = readBytes(path);
    auto book = xlsx::XlsxWorkbook::open(path);
    book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"), QStringLiteral("Seite1"));
    book->sheet(QStringLiteral("Seite1"))->setText(10, 2, QStringLiteral("X"));
    book->beforeRename = [] { return false; };
    EXPECT_THROW(book->save(), SpreadsheetError);
    EXPECT_EQ(readBytes(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left
    book->beforeRename = {};
    book->save();
    EXPECT_NE(readBytes(path), original);
    expectSound(path);
}

TEST(Xlsx, WritingOverAFormulaUnsharesItsGroup) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shared.xlsx"));
    auto book = newWorkbook(QStringLiteral("S"));
    book->saveAs(path);
    book.reset();
    // Put a shared formula group into the sheet by hand: B1 is the master of B1:B3.
    fillFirstSheet(
        path, "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" "
              "si=\"0\">A1*2+$A$1</f><v>3</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f "
              "t=\"shared\" si=\"0\"/><v>5</v></c></row><row r=\"3\"><c r=\"B3\"><f t=\"shared\" si=\"0\"/>"
              "<v>1</v></c></row></sheetData>");
    auto again = openWorkbook(path);
    Worksheet* ws = again->sheet(QStringLiteral("S"));
    EXPECT_EQ(ws->cellText(2, 2), QStringLiteral("5")); // a formula's result
    ws->setNumber(1, 2, 42);
    again->save();
    xlsx::ZipPackage pkg;
    pkg.open(path);
    const QString xml = QString::fromUtf8(pkg.read(QStringLiteral("xl/worksheets/sheet1.xml")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<c r=\"B2\"><f>A2*2+$A$1</f>"))) << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<c r=\"B3\"><f>A3*2+$A$1</f>")));
    EXPECT_FALSE(xml.contains(QStringLiteral("shared")));
    expectSound(path);
}

TEST(Xlsx, ADamagedSheetIsRefusedNeverCopiedOrRenumbered) {
    const struct {
        const char* name;
        const char* sheetData;
        const char* says; // a word of the message
    } cases[] = {
        {"an attribute twice", "<sheetData><row r=\"35\"><c r=\"K35\" s=\"0\" s=\"0\"/></row></sheetData>",
         "twice"},
        {"no cell reference", "<sheetData><row r=\"11\"><c r=\"ZZZZ11\"><v>1</v></c></row></sheetData>",
         "\"ZZZZ11\" in row 11 names no cell"},
        {"a cell of another row", "<sheetData><row r=\"2\"><c r=\"B1\"><v>1</v></c></row></sheetData>",
         "cell B1 stands in row 2"},
        {"a cell repeated", "<sheetData><row r=\"1\"><c r=\"B1\"/><c r=\"A1\"/></row></sheetData>",
         "cell A1 comes after cell B1"},
        {"one row number for every row",
         "<sheetData><row r=\"1\"><c r=\"B1\"><v>1</v></c></row><row r=\"1\"><c r=\"C1\"><v>2</v></c></row>"
         "</sheetData>",
         "row 1 comes after row 1"},
        {"rows out of order", "<sheetData><row r=\"5\"/><row r=\"3\"/></sheetData>", "row 3 comes after row 5"},
        {"row zero", "<sheetData><row r=\"0\"/></sheetData>", "row number \"0\" is no row of a sheet"},
        {"row past the last", "<sheetData><row r=\"1048577\"/></sheetData>", "\"1048577\" is no row"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("damaged.xlsx"));
        newWorkbook(QStringLiteral("Master"))->saveAs(path);
        fillFirstSheet(path, c.sheetData);
        const QByteArray before = readBytes(path);
        try {
            auto book = openWorkbook(path);
            book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                 QStringLiteral("Seite1"));
            book->save();
            ADD_FAILURE() << "accepted";
        } catch (const SpreadsheetError& e) {
            EXPECT_TRUE(e.text().contains(QStringLiteral("sheet1.xml"))) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QString::fromLatin1(c.says))) << e.text().toStdString();
        }
        EXPECT_EQ(readBytes(path), before);
    }
    // Rows and cells without numbers are sound: they follow the ones before.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plain.xlsx"));
    newWorkbook(QStringLiteral("Master"))->saveAs(path);
    fillFirstSheet(path,
                   "<sheetData><row><c><v>1</v></c><c r=\"C1\"><v>3</v></c></row><row><c><v>2</v></c></row>"
                   "</sheetData>");
    auto book = openWorkbook(path);
    Worksheet* page =
        book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"), QStringLiteral("Seite1"));
    EXPECT_EQ(page->cellText(1, 3), QStringLiteral("3"));
    EXPECT_EQ(page->cellText(2, 1), QStringLiteral("2"));
}

// Pages of several thousand rows take the parallel compression path and the compact store for
// rows the program adds; both must read back exactly, here and after a second run on the file.
TEST(Xlsx, LargePagesWrittenTwiceReadBackCellByCell) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("form_openpyxl.xlsx"));
    const QString texts[] = {QStringLiteral("LOC1.X"), QStringLiteral(" führend"),
                             QStringLiteral("a&b<c>\"d\""), QStringLiteral("Steuer\x01zeichen"),
                             QStringLiteral("_x0041_")};
    constexpr int kRows = 4000;
    const auto textAt = [&](int row) { return texts[row % 5] + QString::number(row); };
    {
        auto book = openWorkbook(path);
        Worksheet* ws = book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                             QStringLiteral("Seite1"));
        for (int row = 10; row < 10 + kRows; ++row) {
            ws->setText(row, 2, textAt(row));
            for (int col = 3; col <= 8; ++col)
                ws->setNumber(row, col, row * 0.001 - col);
        }
        ws->setText(3, 2, QStringLiteral("über der Tabelle")); // a row the form already has
        CellFormat bold;
        bold.bold = true;
        ws->format({10, 3, 10 + kRows, 3}, bold);
        book->save();
    }
    expectSound(path);
    {
        auto book = openWorkbook(path);
        Worksheet* ws = book->sheet(QStringLiteral("Seite1"));
        ASSERT_NE(ws, nullptr);
        for (int row = 10; row < 10 + kRows; row += 7) {
            ASSERT_EQ(ws->cellText(row, 2), textAt(row)) << row;
            ASSERT_DOUBLE_EQ(ws->cellText(row, 5).toDouble(), row * 0.001 - 5) << row;
        }
        ws->setText(20, 2, QStringLiteral("zweiter Lauf"));
        ws->setNumber(10 + kRows, 2, 1.5);
        book->save();
    }
    expectSound(path);
    const QJsonObject s = sheetOf(readWithOpenpyxl(path), QStringLiteral("Seite1"));
    ASSERT_FALSE(s.isEmpty());
    EXPECT_EQ(cellOf(s, "B3").value("value").toString(), QStringLiteral("über der Tabelle"));
    EXPECT_EQ(cellOf(s, "B20").value("value").toString(), QStringLiteral("zweiter Lauf"));
    // openpyxl leaves escaped control characters as they stand; our own reader checked those.
    for (const char* ref : {"B21", "B22", "B24"})
        EXPECT_EQ(cellOf(s, ref).value("value").toString(), textAt(QString::fromLatin1(ref + 1).toInt()))
            << ref;
    EXPECT_EQ(cellOf(s, "B4009").value("value").toString(), textAt(4009));
    EXPECT_EQ(cellOf(s, "B4010").value("value").toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(cellOf(s, "H4009").value("value").toDouble(), 4009 * 0.001 - 8);
    EXPECT_TRUE(cellOf(s, "C500").value("bold").toBool());
    EXPECT_FALSE(cellOf(s, "D500").value("bold").toBool());
}

// A run copies its template into far more pages than the engine keeps as trees. Every copy gets
// parts, ids and names of its own, pages set aside are written and read again, and a second run
// on the saved form goes on from what the file holds.
TEST(Xlsx, ManyCopiesKeepPartsIdsAndCellsOfTheirOwn) {
    const auto page = [](int i) { return QStringLiteral("Seite%1").arg(i); };
    const std::pair<int, int> runs[] = {{1, 30}, {31, 45}};
    for (const QString& fixture :
         {QStringLiteral("form_openpyxl.xlsx"), QStringLiteral("form_libreoffice.xlsx")}) {
        SCOPED_TRACE(fixture.toStdString());
        QTemporaryDir dir;
        const QString path = copyFixture(dir, fixture);
        for (const auto& [from, to] : runs) {
            auto book = openWorkbook(path);
            QString previous = from == 1 ? QStringLiteral("Master") : page(from - 1);
            for (int i = from; i <= to; ++i) {
                Worksheet* ws = book->copySheetAfter(QStringLiteral("Master"), previous, page(i));
                ws->setText(10, 2, page(i));
                ws->setNumber(10, 7, i + 0.5);
                if (i % 3 == 0) // without comments: their parts go, and their names are free again
                    for (const auto& [row, col] : {std::pair{10, 1}, {12, 2}, {3, 2}, {6, 4}})
                        ws->clearComment(row, col);
                previous = page(i);
            }
            Worksheet* first = book->sheet(page(from));
            first->setNumber(11, 7, -1.25);
            EXPECT_EQ(first->cellText(10, 2), page(from));
            EXPECT_EQ(first->cellText(11, 7), QStringLiteral("-1.25"));
            book->save();
        }
        expectSound(path);
        const QJsonObject r = readWithOpenpyxl(path);
        ASSERT_FALSE(r.isEmpty());
        const QStringList names = sheetNamesOf(r);
        const QJsonObject master = sheetOf(r, QStringLiteral("Master"));
        for (int i = 1; i <= 45; ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(names.value(i), page(i));
            const QJsonObject s = sheetOf(r, page(i));
            EXPECT_EQ(cellOf(s, "B10").value("value").toString(), page(i));
            EXPECT_EQ(cellOf(s, "G10").value("value").toDouble(), i + 0.5);
            EXPECT_EQ(s.value("print_area"), master.value("print_area"));
            EXPECT_EQ(s.value("print_titles"), master.value("print_titles"));
            EXPECT_EQ(s.value("images"), master.value("images"));
            EXPECT_EQ(s.value("comments").toArray().isEmpty(), i % 3 == 0);
        }
        for (const char* first : {"Seite1", "Seite31"})
            EXPECT_EQ(cellOf(sheetOf(r, QString::fromLatin1(first)), "G11").value("value").toDouble(), -1.25);
    }
}

// A date or time written into a cell formatted General is shown as one, also where the file
// writes General as a format of its own; a cell with another format keeps it.
TEST(Xlsx, DatesInGeneralCellsLookLikeDates) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("form_libreoffice.xlsx"));
    {
        auto book = openWorkbook(path);
        Worksheet* ws = book->sheet(QStringLiteral("Master"));
        ws->setDate(4, 2, QDate(2026, 12, 6)); // General, as id 164
        ws->setTime(5, 2, QTime(14, 5, 9));
        CellFormat decimals;
        decimals.numberFormat = QStringLiteral("0.00");
        ws->format(Range::cell(6, 2), decimals);
        ws->setDate(6, 2, QDate(2026, 12, 6));
        book->save();
    }
    const QJsonObject s = sheetOf(readWithOpenpyxl(path), QStringLiteral("Master"));
    ASSERT_FALSE(s.isEmpty());
    EXPECT_EQ(cellOf(s, "B4").value("value").toString(), QStringLiteral("2026-12-06T00:00:00"));
    EXPECT_EQ(cellOf(s, "B5").value("value").toString(), QStringLiteral("14:05:09"));
    EXPECT_EQ(cellOf(s, "B6").value("format").toString(), QStringLiteral("0.00"));
    EXPECT_EQ(cellOf(s, "B6").value("value").toDouble(), 46362.0);
}

// A cell with a formula is taken even when its result is "", stored or not; so are the other
// cells of a shared formula and of an array formula. Cells showing nothing without one are free.
TEST(Xlsx, ACellIsEmptyOnlyWithoutValueAndFormula) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("formulas.xlsx"));
    newWorkbook(QStringLiteral("S"))->saveAs(path);
    fillFirstSheet(path,
                   "<sheetData><row r=\"1\"><c r=\"A1\" t=\"str\"><f>\"\"</f><v></v></c>"
                   "<c r=\"B1\"><f>IF(A1=\"\",\"\",1)</f></c>"
                   "<c r=\"C1\" t=\"str\"><f t=\"shared\" ref=\"C1:C2\" si=\"0\">A1</f><v></v></c>"
                   "<c r=\"D1\" t=\"str\"><f t=\"array\" ref=\"D1:D2\">A1:A2</f><v></v></c>"
                   "<c r=\"E1\" s=\"0\"/><c r=\"F1\"><v>0</v></c><c r=\"G1\" t=\"inlineStr\"><is><t></t></is>"
                   "</c></row><row r=\"2\"><c r=\"C2\" t=\"str\"><f t=\"shared\" si=\"0\"/><v></v></c>"
                   "<c r=\"D2\" t=\"str\"><v></v></c></row></sheetData>");
    auto book = openWorkbook(path);
    Worksheet* ws = book->sheet(QStringLiteral("S"));
    ws->setNumber(5, 2, 0);
    ws->setText(5, 3, QString());
    struct Case {
        int row;
        int column;
        bool empty;
    };
    const Case cases[] = {
        {1, 1, false},                // ="" with its result stored
        {1, 2, false},                // without
        {1, 3, false}, {2, 3, false}, // a shared formula's first cell and a member
        {1, 4, false}, {2, 4, false}, // an array formula's first cell and another one
        {1, 5, true},                 // a style only
        {1, 6, false},                // 0
        {1, 7, true},                 // an inline text ""
        {1, 9, true},  {3, 1, true},  // no cell, no row
        {5, 2, false}, {5, 3, true},  // cells the program added: 0 and ""
        {5, 4, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ws->isEmpty(c.row, c.column), c.empty) << c.row << "," << c.column;
}

// Cells written into rows the sheet has go into them in column order; rows it lacks are kept
// apart and go between the loaded rows on saving, whatever shape those rows have.
TEST(Xlsx, WrittenRowsAndCellsLandInOrderAmongTheLoadedOnes) {
    struct Write {
        int row;
        int column;
    };
    struct Case {
        const char* name;
        const char* loaded; // the sheetData of the file
        std::vector<Write> writes;
        const char* saved;
    };
    const Case cases[] = {
        {"an empty sheet",
         "<sheetData/>",
         {{3, 2}, {1, 1}},
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>2</v></c></row><row r=\"3\"><c r=\"B3\"><v>1</v></c>"
         "</row></sheetData>"},
        {"rows before, between and after loaded ones, self-closing among them",
         "<sheetData><row r=\"2\"><c r=\"A2\"><v>0</v></c></row><row r=\"4\" ht=\"6\" customHeight=\"1\"/>"
         "<row r=\"6\"><c r=\"A6\" s=\"0\"/></row><row r=\"7\" hidden=\"1\"/></sheetData>",
         {{9, 1}, {5, 1}, {1, 1}, {3, 2}, {8, 3}},
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>3</v></c></row><row r=\"2\"><c r=\"A2\"><v>0</v></c></row>"
         "<row r=\"3\"><c r=\"B3\"><v>4</v></c></row><row r=\"4\" ht=\"6\" customHeight=\"1\"/>"
         "<row r=\"5\"><c r=\"A5\"><v>2</v></c></row><row r=\"6\"><c r=\"A6\" s=\"0\"/></row>"
         "<row r=\"7\" hidden=\"1\"/><row r=\"8\"><c r=\"C8\"><v>5</v></c></row>"
         "<row r=\"9\"><c r=\"A9\"><v>1</v></c></row></sheetData>"},
        {"only after the last row, which is self-closing",
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>0</v></c></row><row r=\"2\"/></sheetData>",
         {{3, 1}, {4, 2}},
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>0</v></c></row><row r=\"2\"/>"
         "<row r=\"3\"><c r=\"A3\"><v>1</v></c></row><row r=\"4\"><c "
         "r=\"B4\"><v>2</v></c></row></sheetData>"},
        {"cells before, between, into and after those of a loaded row",
         "<sheetData><row r=\"1\"><c r=\"B1\"><v>0</v></c><c r=\"D1\" s=\"0\"/></row></sheetData>",
         {{1, 5}, {1, 1}, {1, 3}, {1, 4}},
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"B1\"><v>0</v></c><c r=\"C1\"><v>3</v></c>"
         "<c r=\"D1\" s=\"0\"><v>4</v></c><c r=\"E1\"><v>1</v></c></row></sheetData>"},
        {"loaded rows whose quoted values hold tag ends",
         "<sheetData><row r=\"2\" x=\"a/&gt;b\"><c r=\"A2\"><v>0</v></c></row><row r=\"4\" x=\"&gt;\"/>"
         "</sheetData>",
         {{5, 1}, {3, 1}, {1, 1}},
         "<sheetData><row r=\"1\"><c r=\"A1\"><v>3</v></c></row><row r=\"2\" x=\"a/>b\"><c r=\"A2\"><v>0</v>"
         "</c></row><row r=\"3\"><c r=\"A3\"><v>2</v></c></row><row r=\"4\" x=\">\"/><row r=\"5\"><c "
         "r=\"A5\">"
         "<v>1</v></c></row></sheetData>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rows.xlsx"));
        newWorkbook(QStringLiteral("S"))->saveAs(path);
        {
            xlsx::ZipPackage pkg;
            pkg.open(path);
            QByteArray sheet = pkg.read(QStringLiteral("xl/worksheets/sheet1.xml"));
            sheet.replace("<sheetData/>", c.loaded);
            pkg.write(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
            pkg.save(path);
        }
        {
            auto book = openWorkbook(path);
            for (std::size_t i = 0; i < c.writes.size(); ++i)
                book->sheet(QStringLiteral("S"))->setNumber(c.writes[i].row, c.writes[i].column, i + 1.0);
            book->save();
        }
        xlsx::ZipPackage pkg;
        pkg.open(path);
        const QByteArray sheet = pkg.read(QStringLiteral("xl/worksheets/sheet1.xml"));
        const qsizetype from = sheet.indexOf("<sheetData");
        const qsizetype to = sheet.indexOf("</sheetData>") + 12;
        EXPECT_EQ(sheet.mid(from, to - from).toStdString(), std::string(c.saved));
        auto again = openWorkbook(path);
        for (std::size_t i = 0; i < c.writes.size(); ++i)
            EXPECT_EQ(again->sheet(QStringLiteral("S"))->cellText(c.writes[i].row, c.writes[i].column),
                      QString::number(i + 1));
    }
}
