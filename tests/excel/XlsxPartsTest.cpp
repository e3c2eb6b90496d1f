#include "WorkbookReader.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/Relationships.h"
#include "xlsx/SharedStrings.h"
#include "xlsx/Styles.h"
#include "xlsx/Xml.h"
#include "xlsx/ZipPackage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

#include <zip.h>

using namespace excel;
using namespace excel::xlsx;

namespace {

std::unique_ptr<pugi::xml_document> sst(const QByteArray& items) {
    return parseXml("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + items +
                        "</sst>",
                    QStringLiteral("sharedStrings.xml"));
}

} // namespace

// Texts read from the form and texts added by a run share one index, across its growth, and come
// back the same after writing and reading the part again.
TEST(SharedStrings, FindsReadAndAddedTextsAndWritesThemBack) {
    SharedStrings s(
        sst("<si><t>A</t></si><si><t>B</t></si><si><t>A</t></si>"
            "<si><r><t>rich </t></r><r><t>text</t></r></si><si><t>_x0041__x005F_x0042_</t></si>"));
    EXPECT_EQ(s.text(3), QStringLiteral("rich text"));
    EXPECT_EQ(s.text(4), QStringLiteral("A_x0042_"));
    EXPECT_EQ(s.text(99), QString());
    const int a = s.indexOf(QStringLiteral("A"));
    EXPECT_TRUE(a == 0 || a == 2);
    EXPECT_EQ(s.indexOf(QStringLiteral("rich text")), 3);
    EXPECT_FALSE(s.modified());

    QStringList added;
    for (int i = 0; i < 3000; ++i) // several times the first table size
        added << QStringLiteral("LOC%1.X").arg(i);
    added << QStringLiteral(" blank ") << QStringLiteral("a<b&c>") << QString::fromUtf8("Prüf\x01mal")
          << QStringLiteral("_x0041_") << QString();
    for (int i = 0; i < added.size(); ++i)
        ASSERT_EQ(s.indexOf(added[i]), 5 + i) << i;
    for (int i = 0; i < added.size(); i += 97)
        ASSERT_EQ(s.indexOf(added[i]), 5 + i) << i;
    EXPECT_EQ(s.indexOf(QStringLiteral("B")), 1);
    EXPECT_TRUE(s.modified());

    SharedStrings again(parseXml(s.serialize(), QStringLiteral("sharedStrings.xml")));
    for (int i = 0; i < 5 + added.size(); ++i)
        ASSERT_EQ(again.text(i), s.text(i)) << i;
}

// A part large enough to be compressed on its own thread reads back whole, also when it is
// replaced and the package saved a second time, and beside parts that were not touched.
TEST(ZipPackage, LargePartsSavedTwiceReadBackWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.zip"));
    QByteArray big;
    for (int i = 0; big.size() < 600 * 1024; ++i)
        big += "<c r=\"A" + QByteArray::number(i) + "\"><v>" + QByteArray::number(i * 0.001) + "</v></c>";
    {
        ZipPackage pkg;
        pkg.write(QStringLiteral("small.xml"), "<a/>");
        pkg.write(QStringLiteral("xl/big.xml"), big);
        pkg.save(path);
    }
    ZipPackage pkg;
    pkg.open(path);
    EXPECT_EQ(pkg.read(QStringLiteral("xl/big.xml")), big);
    pkg.write(QStringLiteral("xl/big.xml"), big + "<end/>");
    pkg.write(QStringLiteral("xl/other.xml"), big.left(300 * 1024));
    pkg.save(path);
    pkg.save(path); // nothing changed since: the same parts again
    ZipPackage back;
    back.open(path);
    EXPECT_EQ(back.read(QStringLiteral("small.xml")), QByteArray("<a/>"));
    EXPECT_EQ(back.read(QStringLiteral("xl/big.xml")), big + "<end/>");
    EXPECT_EQ(back.read(QStringLiteral("xl/other.xml")), big.left(300 * 1024));
}

// Spreadsheet programs refuse rows and cells out of order; a run may write them in any order,
// into rows the form has and rows it adds.
TEST(Xlsx, CellsWrittenInAnyOrderAreSavedInOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> cells; // (row, column) in the order written
    };
    const Case cases[] = {
        {"rows downwards", {{1, 1}, {2, 1}, {3, 2}, {3, 1}}},
        {"rows upwards, right to left", {{9, 5}, {9, 3}, {7, 4}, {4, 9}, {4, 1}, {2, 2}}},
        {"around the form's rows", {{6, 2}, {4, 1}, {5, 7}, {5, 1}, {20, 1}, {3, 3}}},
        {"the same cell twice", {{8, 2}, {8, 1}, {8, 2}, {2, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("order.xlsx"));
        {
            auto book = newWorkbook(QStringLiteral("S"));
            Worksheet* ws = book->sheet(QStringLiteral("S"));
            ws->setText(5, 3, QStringLiteral("form")); // rows 5 and 6 belong to the form
            ws->setText(6, 1, QStringLiteral("form"));
            book->saveAs(path);
        }
        {
            auto book = openWorkbook(path);
            Worksheet* ws = book->sheet(QStringLiteral("S"));
            for (const auto& [row, col] : c.cells)
                ws->setNumber(row, col, row * 100 + col);
            book->save();
        }
        expectSound(path);
        auto book = openWorkbook(path);
        Worksheet* ws = book->sheet(QStringLiteral("S"));
        for (const auto& [row, col] : c.cells)
            EXPECT_EQ(ws->cellText(row, col), QString::number(row * 100 + col)) << row << "," << col;
        EXPECT_EQ(ws->cellText(5, 3), QStringLiteral("form"));
    }
}

// New relationship ids take the lowest free "rId<n>", also after one is removed; ids written
// another way (rId01, a name) do not count as taken numbers.
TEST(Rels, NewIdsTakeTheLowestFreeNumber) {
    struct Case {
        const char* name;
        QStringList ids;
        QString removed;
        QStringList added;
    };
    const Case cases[] = {
        {"gaps filled first", {"rId1", "rId3"}, {}, {"rId2", "rId4", "rId5"}},
        {"other spellings", {"rId01", "rId2", "sheet"}, {}, {"rId1", "rId3"}},
        {"a removed id again", {"rId1", "rId2", "rId3"}, "rId2", {"rId2", "rId4"}},
        {"none yet", {}, {}, {"rId1", "rId2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZipPackage pkg;
        QByteArray xml =
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
        for (const QString& id : c.ids)
            xml += "<Relationship Id=\"" + id.toUtf8() + "\" Type=\"t/worksheet\" Target=\"a.xml\"/>";
        pkg.write(QStringLiteral("xl/_rels/workbook.xml.rels"), xml + "</Relationships>");
        Rels rels;
        rels.load(pkg, QStringLiteral("xl/workbook.xml"));
        if (!c.removed.isEmpty())
            rels.remove(c.removed);
        for (const QString& id : c.added)
            EXPECT_EQ(rels.add(relType(QStringLiteral("styles")), QStringLiteral("b.xml")), id);
        EXPECT_EQ(rels.byId(c.added.last())->type, QStringLiteral("styles"));
    }
}

// New part names take the lowest free number of their pattern, also after a part is removed.
TEST(ZipPackage, FreeNamesTakeTheLowestFreeNumber) {
    ZipPackage pkg;
    for (const char* p : {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/worksheets/sheet4.xml"})
        pkg.write(QString::fromLatin1(p), "<x/>");
    const QString like = QStringLiteral("xl/worksheets/sheet9.xml");
    EXPECT_EQ(pkg.freeName(like), QStringLiteral("xl/worksheets/sheet3.xml"));
    pkg.write(QStringLiteral("xl/worksheets/sheet3.xml"), "<x/>");
    EXPECT_EQ(pkg.freeName(like), QStringLiteral("xl/worksheets/sheet5.xml"));
    pkg.remove(QStringLiteral("xl/worksheets/sheet2.xml"));
    EXPECT_EQ(pkg.freeName(like), QStringLiteral("xl/worksheets/sheet2.xml"));
    EXPECT_EQ(pkg.freeName(QStringLiteral("xl/comments.xml")), QStringLiteral("xl/comments1.xml"));
}

namespace {

// A package whose directory states a wrong checksum for one part, and which is sound otherwise.
// The parts are compressed, as in any workbook: their bytes are copied without being unpacked.
void writeDamagedZip(const QString& path, const std::vector<std::pair<QString, QByteArray>>& parts,
                     const QString& damaged) {
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    for (const auto& [name, data] : parts) {
        const zip_int64_t i = zip_file_add(z, name.toUtf8().constData(),
                                           zip_source_buffer(z, data.constData(), data.size(), 0), 0);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_DEFLATE, 0);
    }
    zip_close(z);
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    QByteArray b = f.readAll();
    b[b.indexOf(damaged.toUtf8()) - 30 + 14] ^= 1;     // the checksum in the part's own header
    b[b.lastIndexOf(damaged.toUtf8()) - 46 + 16] ^= 1; // and in the directory
    f.seek(0);
    f.write(b);
}

} // namespace

// A part whose checksum does not match is refused, whether it is read or would be copied
// unchanged, and the package on disk stays as it was.
TEST(ZipPackage, ADamagedPartIsRefusedAndNothingWritten) {
    const std::vector<std::pair<QString, QByteArray>> parts = {
        {QStringLiteral("a.xml"), "<a>" + QByteArray(2000, 'a') + "</a>"},
        {QStringLiteral("media/b.bin"), QByteArray(2000, 'b')},
    };
    for (const auto& [damaged, content] : parts) {
        SCOPED_TRACE(damaged.toStdString());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.zip"));
        writeDamagedZip(path, parts, damaged);
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray original = f.readAll();
        QString error;
        try {
            ZipPackage pkg;
            pkg.open(path);
            pkg.read(QStringLiteral("a.xml"));
            pkg.write(QStringLiteral("c.xml"), "<c/>");
            pkg.save(path);
        } catch (const SpreadsheetError& e) {
            error = e.text();
        }
        EXPECT_TRUE(error.contains(
            QStringLiteral("%1 is damaged: its part %2").arg(QDir::toNativeSeparators(path), damaged)))
            << error.toStdString();
        f.seek(0);
        EXPECT_EQ(f.readAll(), original);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("p.zip")});
    }
}

// The format of a cell counts as General however the file writes it.
TEST(Styles, GeneralHoweverTheFileWritesIt) {
    const std::pair<const char*, bool> formats[] = {
        {"0", true},    // built in
        {"164", true},  // General
        {"165", true},  // GENERAL
        {"166", false}, // 0.00
        {"167", false}, // General with a colour for negatives
        {"14", false},  // a built-in date
        {"168", false}, // not defined
    };
    QByteArray xml = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                     "<numFmts count=\"4\"><numFmt numFmtId=\"164\" formatCode=\"General\"/>"
                     "<numFmt numFmtId=\"165\" formatCode=\"GENERAL\"/><numFmt numFmtId=\"166\" "
                     "formatCode=\"0.00\"/><numFmt numFmtId=\"167\" formatCode=\"General;[Red]-General\"/>"
                     "</numFmts><cellXfs>";
    for (const auto& [id, general] : formats)
        xml += QByteArray("<xf numFmtId=\"") + id + "\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>";
    Styles styles(parseXml(xml + "</cellXfs></styleSheet>", QStringLiteral("styles.xml")));
    for (int xf = 0; xf < static_cast<int>(std::size(formats)); ++xf)
        EXPECT_EQ(styles.isGeneral(xf), formats[xf].second) << formats[xf].first;
}

// Texts that are numbers written the invariant way, and texts that only look like numbers.
TEST(NumberText, InvariantNumbers) {
    const std::pair<const char*, double> numbers[] = {
        {"0", 0},
        {"4711", 4711},
        {"0.5", 0.5},
        {"-0.25", -0.25},
        {"10.50", 10.5},
        {"-0", 0},
        {"-0.000", 0},
        {"123456789012345", 123456789012345.0},
        {"-0.000000000000001", -1e-15},
        {"0.000123456789012345", 0.000123456789012345},
    };
    for (const auto& [text, value] : numbers) {
        const std::optional<double> n = invariantNumber(QString::fromLatin1(text));
        ASSERT_TRUE(n.has_value()) << text;
        EXPECT_EQ(*n, value) << text;
        EXPECT_FALSE(std::signbit(*n) && *n == 0) << text;
    }
    const char* texts[] = {"",
                           "-",
                           "0815",
                           "00",
                           "-01",
                           "+1",
                           "1.",
                           ".5",
                           "-.5",
                           "1e5",
                           " 1",
                           "1 ",
                           "1,5",
                           "--1",
                           "1.2.3",
                           "0x1",
                           "inf",
                           "NaN",
                           "1-",
                           "1234567890123456",   // 16 digits: a cell would round it
                           "1.000000000000000"}; // as many, written
    for (const char* text : texts)
        EXPECT_FALSE(invariantNumber(QString::fromLatin1(text)).has_value()) << text;
    EXPECT_FALSE(invariantNumber(QStringLiteral("\u0661\u0662")).has_value()); // digits of another script
    // Far below the smallest number a cell holds: it would come back as 0.
    EXPECT_FALSE(invariantNumber(QStringLiteral("0.") + QString(400, u'0') + u'1').has_value());
}
