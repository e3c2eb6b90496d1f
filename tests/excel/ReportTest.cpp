#include "WorkbookReader.h"
#include "common/FileBytes.h"
#include "common/TempSettings.h"
#include "excel/FormReport.h"
#include "settings/LocaleText.h"
#include "settings/TextCodec.h"
#include "settings/ResultFileName.h"

#include <deque>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

using namespace excel;

namespace {

const QString kForm = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.xlsx");
const QString kLayout = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.cfg");

// A table, the example form and its layout, and everything a run says.
struct Report {
    TempSettings tmp;
    QTemporaryDir dir;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    QString form;
    QList<common::Message> shown;
    std::deque<common::MsgResult> answers;
    model::HeaderRows header{{QStringLiteral(" Auftrag"), QStringLiteral("4711")},
                             {QString::fromUtf8(" Prüfer"), QStringLiteral("M. Keller")}};
    model::Selection selection;
    QStringList entries;

    Report() {
        QStringList box{QStringLiteral("[h]")};
        for (int i = 2; i <= 81; ++i)
            box << QStringLiteral("M%1").arg(i);
        texts.setSection(QStringLiteral("MessageBoxen"), box);
        form = dir.filePath(QStringLiteral("Pruefbericht.xlsx"));
        QFile::copy(kForm, form);
        QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_TRUE(LoadReportConfiguration(kLayout, store, 2));
        table.reset(10);
        comments.reset(10);
    }
    void set(const char* key, const QString& value) {
        store.Write(QStringLiteral("ExcelReportSettings"), QString::fromLatin1(key), value);
    }
    model::MerkmalRow& row(const QString& id, double measured, double atol = 0, bool selected = true) {
        model::MerkmalRow& r = table.append();
        r.ID = id;
        r.Achse = QStringLiteral("X");
        r.Typ = QStringLiteral("X_LOCATION");
        r.Nennwert = 10;
        r.OTol = 0.1;
        r.UTol = -0.1;
        r.Messwert = measured;
        r.ATol = atol;
        r.Ausgabe = QStringLiteral("BEIDE");
        r.UniqueId1 = 100 + table.AnzMerkmale;
        r.UniqueId2 = 7;
        entries << id + QStringLiteral(".X");
        selection.push_back(selected);
        return r;
    }
    void comment(model::MerkmalRow& r, const QString& line) {
        r.KommentarIndex = table.AnzMerkmale;
        comments.block(r.KommentarIndex).Zeile[1] = line;
    }
    LayoutValueFn layoutValue; // a run's own layout; nothing: the stored one
    ReportResult run(bool korrektur = false, QString* path = nullptr) {
        shown.clear();
        ReportRun r{store,
                    texts,
                    [this](const common::Message& m) {
                        shown.append(m);
                        if (!answers.empty()) {
                            const auto a = answers.front();
                            answers.pop_front();
                            return a;
                        }
                        return m.defaultButton;
                    },
                    table,
                    comments,
                    entries,
                    selection,
                    header,
                    false,
                    {},
                    {},
                    {},
                    QDate(2026, 12, 6),
                    QTime(14, 5, 9),
                    layoutValue};
        QString p = form;
        const ReportResult result = FillExcelReport(r, p, korrektur);
        if (path)
            *path = p;
        return result;
    }
    QStringList texts_() const {
        QStringList t;
        for (const common::Message& m : shown)
            t << m.text;
        return t;
    }
};

} // namespace

TEST(ExcelReport, FirstAndSecondRunOnOneForm) {
    Report r;
    model::MerkmalRow& a = r.row(QStringLiteral("LOC1"), 10.05);
    r.comment(a, QStringLiteral("<<  Bohrung"));
    r.row(QStringLiteral("LOC2"), 10.2, 0.1); // out of tolerance
    model::MerkmalRow& hidden = r.row(QStringLiteral("LOC3"), 9.9);
    r.comment(hidden, QStringLiteral("<<# intern"));
    model::MerkmalRow& tp = r.row(QStringLiteral("TP1"), 0.02);
    tp.Typ = QStringLiteral("TRUE_X_LOCATION");
    r.row(QStringLiteral("STAT"), 1).Ausgabe = QStringLiteral("STATISTIK");
    r.row(QStringLiteral("OFF"), 9.95, 0, false); // not selected: placeholders

    EXPECT_TRUE(r.run().saved) << r.texts_().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(r.shown.isEmpty());
    EXPECT_EQ(r.comments.block(1).Zeile[1], QStringLiteral("Bohrung")); // the table keeps the change
    {
        const QStringList faults = checkWorkbookStructure(r.form);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
    }
    QJsonObject book = readWithOpenpyxl(r.form);
    EXPECT_EQ(sheetNamesOf(book), QStringList({"Master", "Seite1", "UniqueIDs"}));
    QJsonObject s1 = sheetOf(book, QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B10").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(cellOf(s1, "A10").value("value"), QJsonValue(1));
    EXPECT_EQ(cellOf(s1, "C10").value("value").toString(), QStringLiteral("\""));
    EXPECT_EQ(cellOf(s1, "G10").value("value").toString(), QStringLiteral("Bohrung"));
    EXPECT_EQ(cellOf(s1, "H10").value("value").toDouble(), 10.05);
    EXPECT_EQ(cellOf(s1, "H11").value("colour").toString(), QStringLiteral("FF0000"));
    EXPECT_EQ(cellOf(s1, "H11").value("underline").toString(), QStringLiteral("single"));
    EXPECT_EQ(cellOf(s1, "B12").value("value").toString(),
              QStringLiteral("TP1.X")); // LOC3 is written nowhere
    EXPECT_EQ(cellOf(s1, "A12").value("value"), QJsonValue(3));
    EXPECT_EQ(cellOf(s1, "E12").value("value").toString(), QStringLiteral("   "));
    EXPECT_EQ(cellOf(s1, "C12").value("value").toString(), QStringLiteral("j"));
    EXPECT_EQ(cellOf(s1, "H13").value("value").toString(), QStringLiteral("  "));
    EXPECT_EQ(cellOf(s1, "H5").value("value"), QJsonValue(4711));
    EXPECT_EQ(cellOf(s1, "H6").value("value").toString(), QStringLiteral("M. Keller"));
    EXPECT_EQ(cellOf(s1, "H7").value("value").toString(), QStringLiteral("2026-12-06T00:00:00"));
    EXPECT_EQ(cellOf(s1, "H8").value("value").toString(), QStringLiteral("14:05:09"));
    QJsonObject ids = sheetOf(book, QStringLiteral("UniqueIDs"));
    EXPECT_EQ(cellOf(ids, "A2").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(cellOf(ids, "B2").value("value").toString(), QStringLiteral("101|7"));

    // The second run: same program, next measurement column, no question; symbols in Unicode.
    r.set("UnicodeSymbols", QStringLiteral("-1"));
    EXPECT_TRUE(r.run().saved);
    EXPECT_TRUE(r.shown.isEmpty()) << r.texts_().join(QStringLiteral(" | ")).toStdString();
    book = readWithOpenpyxl(r.form);
    s1 = sheetOf(book, QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "I10").value("value").toDouble(), 10.05);
    EXPECT_EQ(cellOf(s1, "C12").value("value").toString(), QStringLiteral("\u2316"));
    EXPECT_EQ(cellOf(s1, "I5").value("value"), QJsonValue(4711));
    ids = sheetOf(book, QStringLiteral("UniqueIDs"));
    EXPECT_EQ(cellOf(ids, "C1").value("value").toString(), QStringLiteral("New Unique-ID"));
    EXPECT_EQ(cellOf(ids, "C2").value("fill").toString(), QString());
}

TEST(ExcelReport, AChangedProgramAsksAndNoLeavesTheFormAsItWas) {
    Report r;
    r.row(QStringLiteral("A"), 10);
    r.row(QStringLiteral("B"), 10);
    ASSERT_TRUE(r.run().saved);
    r.table.row(2).UniqueId1 = 999; // the part program changed
    const QByteArray before = readBytes(r.form);
    r.answers = {common::MsgResult::No};
    const ReportResult no = r.run();
    EXPECT_TRUE(no.aborted);
    ASSERT_EQ(r.shown.size(), 2);
    EXPECT_TRUE(r.shown[0].text.startsWith(QString::fromUtf8("Ihr Messprogramm wurde geändert.\r\n")));
    EXPECT_EQ(r.shown[1].text, QStringLiteral("M38"));
    EXPECT_EQ(readBytes(r.form), before);

    r.answers = {common::MsgResult::Yes};
    EXPECT_TRUE(r.run().saved);
    const QJsonObject ids = sheetOf(readWithOpenpyxl(r.form), QStringLiteral("UniqueIDs"));
    EXPECT_EQ(cellOf(ids, "C3").value("fill").toString(), QStringLiteral("FF0000"));
    EXPECT_EQ(cellOf(ids, "C2").value("fill").toString(), QString());
}

TEST(ExcelReport, UniqueIdsKeepTheirHalvesApartAndOlderFormsStillMatch) {
    const struct {
        const char* name;
        QJsonValue firstRun; // what the bookkeeping holds for the row
        int id1, id2;        // the row now
        bool asked;
    } cases[] = {
        {"unchanged", QJsonValue(), 12, 345, false},
        {"halves that join to the same digits", QJsonValue(), 1, 2345, true},
        {"an older form, the halves joined", QJsonValue(12345), 12, 345, false},
        {"an older form, another command", QJsonValue(12345), 12, 346, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Report r;
        model::MerkmalRow& row = r.row(QStringLiteral("A"), 10);
        row.UniqueId1 = 12;
        row.UniqueId2 = 345;
        ASSERT_TRUE(r.run().saved);
        if (!c.firstRun.isNull()) {
            auto book = openWorkbook(r.form);
            book->sheet(QStringLiteral("UniqueIDs"))->setNumber(2, 2, c.firstRun.toDouble());
            book->save();
        }
        r.table.row(1).UniqueId1 = c.id1;
        r.table.row(1).UniqueId2 = c.id2;
        r.answers = {common::MsgResult::No};
        r.run();
        EXPECT_EQ(!r.shown.isEmpty() && r.shown[0].icon == common::MsgIcon::Question, c.asked);
    }
}

TEST(ExcelReport, WithEmptyCellsAPartOfAnotherSelectionNeverLandsBesideOtherIds) {
    // Each part lists only its selected characteristics, one after the other.
    auto part = [](Report& r, std::initializer_list<bool> selected) {
        r.selection.assign(selected);
        return r.run();
    };
    Report r;
    r.set("EmptyCells", QStringLiteral("1"));
    for (const char* id : {"A", "B", "C", "D"})
        r.row(QString::fromLatin1(id), 10);
    ASSERT_TRUE(part(r, {true, true, true, false}).saved);
    ASSERT_TRUE(part(r, {true, true, true, false}).saved); // the same selection: as always

    const QByteArray before = readBytes(r.form);
    const ReportResult other = part(r, {true, false, true, false}); // C would sit in B's row
    EXPECT_TRUE(other.aborted);
    ASSERT_EQ(r.shown.size(), 2);
    EXPECT_TRUE(r.shown[0].text.startsWith(QStringLiteral("M81"))) << r.shown[0].text.toStdString();
    EXPECT_EQ(readBytes(r.form), before);

    // One more characteristic: its value goes into this part's column, beside its own ID.
    ASSERT_TRUE(part(r, {true, true, true, true}).saved) << r.texts_().join(QLatin1Char('|')).toStdString();
    const QJsonObject s1 = sheetOf(readWithOpenpyxl(r.form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B13").value("value").toString(), QStringLiteral("D.X"));
    EXPECT_EQ(cellOf(s1, "J13").value("value").toDouble(), 10.0);
    EXPECT_FALSE(cellOf(s1, "H13").value("value").isDouble()); // not in the first part's column
}

TEST(ExcelReport, TheOrientationHasOneReaderForTheDialogAndTheRun) {
    // As the layout dialog reads it: true, a number other than 0, or unreadable mean rows.
    for (const char* stored : {"-1", "True", "1", "Wahr", ""}) {
        SCOPED_TRACE(stored);
        Report r;
        r.set("Zeile_Spalte", QString::fromLatin1(stored));
        r.row(QStringLiteral("A"), 10);
        ASSERT_TRUE(r.run().saved) << r.texts_().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(cellOf(sheetOf(readWithOpenpyxl(r.form), QStringLiteral("Seite1")), "B10").value("value"),
                  QJsonValue(QStringLiteral("A.X")));
    }
}

TEST(ExcelReport, PageChangesInRowsAndInColumns) {
    Report rows;
    rows.set("FormEndRow", QStringLiteral("12"));
    for (int i = 1; i <= 4; ++i)
        rows.row(QStringLiteral("R%1").arg(i), i);
    ASSERT_TRUE(rows.run().saved);
    QJsonObject book = readWithOpenpyxl(rows.form);
    EXPECT_EQ(sheetNamesOf(book), QStringList({"Master", "Seite1", "Seite2", "UniqueIDs"}));
    const QJsonObject p2 = sheetOf(book, QStringLiteral("Seite2"));
    EXPECT_EQ(cellOf(p2, "B10").value("value").toString(), QStringLiteral("R4.X"));
    EXPECT_EQ(cellOf(p2, "H10").value("value").toDouble(), 4.0);
    EXPECT_EQ(cellOf(p2, "H5").value("value"), QJsonValue(4711));
    EXPECT_EQ(cellOf(p2, "H8").value("value").toString(), QStringLiteral("14:05:09"));

    Report cols; // characteristics in columns B, C, D; fields in rows
    cols.set("Zeile_Spalte", QStringLiteral("0"));
    cols.set("FormMeasColums", QStringLiteral("B,C,D"));
    cols.set("FormStartRow", QStringLiteral("20"));
    cols.set("FormEndRow", QStringLiteral("30"));
    cols.set("FormIDColum", QStringLiteral("12"));
    cols.set("FormNominalColum", QStringLiteral("13"));
    cols.set("FormOTolColum", QStringLiteral("14"));
    cols.set("FormUTolColum", QStringLiteral("15"));
    cols.set("FormSymbolColum", QStringLiteral("16"));
    cols.set("FormDevColum", QStringLiteral("17"));
    cols.set("FormCommentColum", kNotUsed);
    cols.set("LfdNr", QStringLiteral("11"));
    cols.set("FormDateRow", QStringLiteral("M"));
    cols.set("FormTimeRow", kNotUsed);
    cols.set("Kopfdaten_1_1", QStringLiteral("VM"));
    cols.set("Kopfdaten_2_1", QStringLiteral("G"));
    cols.set("Kopfdaten_1_2", kNotUsed);
    cols.set("Kopfdaten_2_2", kNotUsed);
    for (int i = 1; i <= 4; ++i)
        cols.row(QStringLiteral("C%1").arg(i), i, 0, i != 2);
    ASSERT_TRUE(cols.run().saved) << cols.texts_().join(QStringLiteral(" | ")).toStdString();
    book = readWithOpenpyxl(cols.form);
    const QJsonObject c1 = sheetOf(book, QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(c1, "B12").value("value").toString(), QStringLiteral("C1.X"));
    EXPECT_EQ(cellOf(c1, "D12").value("value").toString(), QStringLiteral("C3.X"));
    EXPECT_EQ(cellOf(c1, "B20").value("value").toDouble(), 1.0);
    EXPECT_EQ(cellOf(c1, "C17").value("value").toString(), QStringLiteral("n.g.")); // not selected
    EXPECT_EQ(cellOf(c1, "G20").value("value"), QJsonValue(4711));
    EXPECT_EQ(cellOf(c1, "M20").value("value").toString(), QStringLiteral("2026-12-06T00:00:00"));
    const QJsonObject c2 = sheetOf(book, QStringLiteral("Seite2"));
    EXPECT_EQ(cellOf(c2, "B12").value("value").toString(), QStringLiteral("C4.X"));
    EXPECT_EQ(cellOf(c2, "B11").value("value"), QJsonValue(4));
}

TEST(ExcelReport, CorrectionReportNameRunningNumbersAndEmptyCells) {
    Report r;
    r.row(QStringLiteral("A"), 10.2, 0.1);
    r.row(QStringLiteral("B"), 10, 0, false);
    r.row(QStringLiteral("C"), 10.3, 0.2);
    const QByteArray form = readBytes(r.form);
    QString saved;
    ASSERT_TRUE(r.run(true, &saved).saved);
    EXPECT_EQ(saved, r.dir.filePath(QStringLiteral("Pruefbericht__%1__14.05.09.xlsx"))
                         .arg(settings::fileNameSafe(settings::shortDateText(QDate(2026, 12, 6)))));
    EXPECT_EQ(readBytes(r.form), form); // the form itself stays as it was
    // A second correction report in the same second keeps the first.
    QString again;
    ASSERT_TRUE(r.run(true, &again).saved);
    EXPECT_EQ(again, QString(saved).replace(QStringLiteral(".xlsx"), QStringLiteral("__2.xlsx")));
    const QJsonObject s1 = sheetOf(readWithOpenpyxl(saved), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B11").value("value").toString(), QStringLiteral("C.X"));
    EXPECT_EQ(cellOf(s1, "A11").value("value"), QJsonValue(3));

    Report empty; // EmptyCells: unselected rows take no place at all
    empty.set("EmptyCells", QStringLiteral("1"));
    empty.row(QStringLiteral("A"), 1);
    empty.row(QStringLiteral("B"), 2, 0, false);
    empty.row(QStringLiteral("C"), 3);
    ASSERT_TRUE(empty.run().saved);
    const QJsonObject e1 = sheetOf(readWithOpenpyxl(empty.form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(e1, "B11").value("value").toString(), QStringLiteral("C.X"));
}

TEST(ExcelReport, FailuresLeaveTheFormUnchanged) {
    struct Case {
        const char* name;
        std::function<void(Report&)> setup;
        const char* first;
    };
    const Case cases[] = {
        {"full form", [](Report& r) { r.set("FormMeasColums", QStringLiteral("H")); }, nullptr},
        {"column 0", [](Report& r) { r.set("FormIDColum", QStringLiteral("b")); }, "M19"},
        {"last row before the first", [](Report& r) { r.set("FormEndRow", QStringLiteral("2")); }, "M73"},
        {"layout incomplete", [](Report& r) { r.set("FormMeasColums", QString()); }, "M39"},
        {"nothing selected", [](Report& r) { r.selection.assign(r.selection.size(), false); }, "M24"},
        // Layouts that would write over measured values or over each other.
        {"ID in the measurement columns", [](Report& r) { r.set("FormIDColum", QStringLiteral("I")); },
         "M60"},
        {"two fields in one column", [](Report& r) { r.set("FormSymbolColum", QStringLiteral("B")); }, "M60"},
        {"date among the characteristics", [](Report& r) { r.set("FormDateRow", QStringLiteral("12")); },
         "M60"},
        {"date and time in one row", [](Report& r) { r.set("FormTimeRow", QStringLiteral("7")); }, "M60"},
    };
    for (const Case& c : cases) {
        Report r;
        r.row(QStringLiteral("A"), 10);
        r.row(QStringLiteral("B"), 10);
        if (QByteArray(c.name) == "full form") {
            r.set("FormMeasColums", QStringLiteral("H"));
            ASSERT_TRUE(r.run().saved); // the only measurement column is now taken
        }
        c.setup(r);
        const QByteArray before = readBytes(r.form);
        const ReportResult res = r.run();
        EXPECT_TRUE(res.aborted) << c.name;
        EXPECT_EQ(readBytes(r.form), before) << c.name;
        ASSERT_FALSE(r.shown.isEmpty()) << c.name;
        EXPECT_EQ(r.shown.back().text, QStringLiteral("M38")) << c.name;
        EXPECT_TRUE(r.shown.front().text.startsWith(QString::fromLatin1(c.first ? c.first : "M33")))
            << c.name;
    }

    Report xls; // a legacy workbook is refused with a text that says what to do
    xls.row(QStringLiteral("A"), 1);
    xls.form = xls.dir.filePath(QStringLiteral("alt.xls"));
    QFile f(xls.form);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(512, '\0'));
    f.close();
    xls.run();
    ASSERT_EQ(xls.shown.size(), 1);
    EXPECT_TRUE(xls.shown[0].text.contains(QStringLiteral(".xlsx")));
}

TEST(ReportLayout, ColumnNumbersAndColumnLists) {
    EXPECT_EQ(ColumnNumber(QStringLiteral("A")), 1);
    EXPECT_EQ(ColumnNumber(QStringLiteral("AA")), 27);
    EXPECT_EQ(ColumnNumber(QStringLiteral("IV")), 256);
    EXPECT_EQ(ColumnNumber(QStringLiteral("IW")), 256);
    EXPECT_EQ(ColumnNumber(QStringLiteral("b")), 0);
    EXPECT_EQ(ParseColumnList(QStringLiteral("E,G-I,K")), (std::vector<int>{5, 7, 8, 9, 11}));
    EXPECT_EQ(ParseColumnList(QStringLiteral("C-E,H")), (std::vector<int>{3, 4, 5, 8}));

    QStringList lines = layoutFileLines(ReportLayoutValues{}, {});
    EXPECT_EQ(lines.size(), 24);
    ReportLayoutValues v;
    QTemporaryDir dir;
    TempSettings tmp;
    settings::SettingsStore store;
    const QStringList example = *settings::readTextLines(kLayout, settings::CodePage::Windows1252);
    EXPECT_EQ(example.size(), 30);
    EXPECT_EQ(example.at(27), QStringLiteral("[Kopfdaten]"));
    readLayoutFile(v, example, 2);
    EXPECT_EQ(layoutFileLines(v, *layoutFileHeaderNames(example)), example);
    EXPECT_FALSE(LoadReportConfiguration(dir.filePath(QStringLiteral("missing")), store, 2));
    EXPECT_TRUE(LoadReportConfiguration(QString(kLayout).chopped(4), store, 2)); // ".cfg" appended
    EXPECT_FALSE(LoadReportConfiguration(kLayout, store, 5));                    // ends before its values
}

TEST(ReportLayout, UnicodeSymbolsForTheTypesThatHaveOne) {
    // Type and symbol; none without a GD&T symbol: those letters mean something in a symbol font only.
    const QString cases = QStringLiteral("D_LOCATION \u2300|TRUE_DIAM_LOCATION \u2316|TRUE_X_LOCATION \u2316|"
                                         "FLATNESS_LOCATION \u23E5|TRUE_ROUNDNESS_LOCATION \u25CB|"
                                         "STRAIGHTNESS \u23E4|PROFILE \u2313|PARALLELISM \u2225|"
                                         "PERPENDICULARITY \u27C2|ANGULARITY \u2220|SYMMETRY \u232F|"
                                         "CONCENTRICITY \u25CE|COAXIALITY \u25CE|RUNOUT \u2197|X_LOCATION |"
                                         "A_LOCATION |2D_DISTANCE |KEYIN |UNKNOWN ");
    for (const QString& c : cases.split(QLatin1Char('|')))
        EXPECT_EQ(SymbolText(c.section(QLatin1Char(' '), 0, 0), true), c.section(QLatin1Char(' '), 1))
            << c.toStdString();
    EXPECT_EQ(SymbolText(QStringLiteral("D_LOCATION")), QStringLiteral("n")); // the default: letters
}

TEST(ExcelReport, ARunKeepsItsLayoutFileWhateverIsStoredMeanwhile) {
    // Another run stores its layout between this run's loading and filling: this run still
    // fills by its own file.
    Report r;
    LayoutFileValues file;
    ASSERT_TRUE(LoadReportConfiguration(kLayout, r.store, 2, &file));
    r.set("FormIDColum", QStringLiteral("D"));
    r.set("UnicodeSymbols", QStringLiteral("-1")); // not in layout files: the stored one holds
    r.layoutValue = layoutOfFile(file, r.store);
    r.row(QStringLiteral("LOC1"), 10.05).Typ = QStringLiteral("PERPENDICULARITY");
    ASSERT_TRUE(r.run().saved) << r.texts_().join(QLatin1Char('|')).toStdString();
    const QJsonObject s1 = sheetOf(readWithOpenpyxl(r.form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B10").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_NE(cellOf(s1, "D10").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(cellOf(s1, "C10").value("value").toString(), QStringLiteral("\u27C2"));
}

TEST(ExcelReport, ASaveAsNameGetsTheFormsExtension) {
    const struct {
        const char* chosen;
        const char* form;
        const char* saved;
    } cases[] = {
        {"/q/Bericht", "/f/Form.xlsx", "/q/Bericht.xlsx"},
        {"/q/Bericht", "/f/Form.xlsm", "/q/Bericht.xlsm"},
        {"/q/Bericht.XLSX", "/f/Form.xlsx", "/q/Bericht.XLSX"},
        {"/q/Bericht.v2", "/f/Form.xlsx", "/q/Bericht.v2.xlsx"},
        {"", "/f/Form.xlsx", ""}, // cancelled
    };
    for (const auto& c : cases)
        EXPECT_EQ(withWorkbookExtension(QString::fromLatin1(c.chosen), QString::fromLatin1(c.form)),
                  QString::fromLatin1(c.saved));
}

TEST(ExcelReport, TextsThatAreNumbersAreStoredAsNumbers) {
    // As typed into the spreadsheet program: "4711" becomes a number, "0815" stays text; a text
    // longer than a cell holds is cut to 32,767 characters, and the run says so.
    const struct {
        QString header;
        QJsonValue stored;
        int cut;
    } cases[] = {
        {QStringLiteral("4711"), QJsonValue(4711), 0},
        {QStringLiteral("-0.5"), QJsonValue(-0.5), 0},
        {QStringLiteral("0815"), QJsonValue(QStringLiteral("0815")), 0},
        {QStringLiteral("1e5"), QJsonValue(QStringLiteral("1e5")), 0},
        {QStringLiteral("12,5"), QJsonValue(QStringLiteral("12,5")), 0},
        {QString(40000, QLatin1Char('x')), QJsonValue(QString(32767, QLatin1Char('x'))), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header.left(10).toStdString());
        Report r;
        r.header[0].value = c.header;
        r.row(QStringLiteral("A"), 10);
        const ReportResult result = r.run();
        ASSERT_TRUE(result.saved);
        EXPECT_EQ(result.cutTexts, c.cut);
        EXPECT_EQ(cellOf(sheetOf(readWithOpenpyxl(r.form), QStringLiteral("Seite1")), "H5").value("value"),
                  c.stored);
    }
}
