#include "ascii/AsciiLayout.h"
#include "ascii/AsciiWriter.h"
#include "common/FileBytes.h"
#include "common/TempSettings.h"
#include "history/History.h"
#include "settings/CsvPreset.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

using namespace ascii;

namespace {

QString positions(const AsciiLayout& l) {
    QStringList p;
    for (const QString& s : l.position)
        p << (s.isEmpty() ? QStringLiteral("-") : s);
    return p.join(QLatin1Char(' '));
}

// A table, settings and a result folder for one write.
struct Write {
    TempSettings tmp;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::HeaderRows header;
    model::Selection selection;
    QStringList messages;
    QString status;
    settings::NamingContext naming;
    std::function<void(const QString&)> beforeClaim;
    bool mayProposeFolder = false;
    common::MsgResult answer = common::MsgResult::Ok; // to a question

    Write() {
        QStringList box{QStringLiteral("[h]")};
        for (int i = 2; i <= 66; ++i)
            box << QStringLiteral("M%1").arg(i);
        texts.setSection(QStringLiteral("MessageBoxen"), box);
        QStringList bar{QStringLiteral("[h]")};
        for (int i = 2; i <= 14; ++i)
            bar << QStringLiteral("S%1").arg(i);
        texts.setSection(QStringLiteral("StatusBar"), bar);
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), tmp.path());
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("FileName1"), QStringLiteral("9"));
        for (const char* k : {"FileName2", "FileName3", "FileName4", "FileName5"})
            store.Write(QStringLiteral("FileSettings"), QString::fromLatin1(k), QStringLiteral("0"));
        table.reset(4);
        comments.reset(4);
    }
    model::MerkmalRow& row(const QString& id, const QString& axis, double measured, const QString& out,
                           const QStringList& comment = {}) {
        model::MerkmalRow& r = table.append();
        r.ID = id;
        r.Achse = axis;
        r.Messwert = measured;
        r.Ausgabe = out;
        if (!comment.isEmpty()) {
            r.KommentarIndex = table.AnzMerkmale;
            for (int i = 0; i < comment.size(); ++i)
                comments.block(r.KommentarIndex).Zeile[static_cast<std::size_t>(i + 1)] = comment[i];
        }
        selection.push_back(true);
        return r;
    }
    void layout(std::initializer_list<std::pair<int, int>> columnPositions, const QString& sep) {
        for (int c = 0; c < kColumns; ++c)
            store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("Label1_%1").arg(c), QString());
        for (auto [c, p] : columnPositions)
            store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("Label1_%1").arg(c),
                        QString::number(p));
        store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), sep);
        store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("CSV"), QStringLiteral("1"));
    }
    AsciiWriteResult run() {
        AsciiWriteInput in{store,
                           texts,
                           [this](const common::Message& m) {
                               messages << m.text;
                               return m.buttons == common::MsgButtons::YesNo ? answer : common::MsgResult::Ok;
                           },
                           table,
                           comments,
                           selection,
                           header,
                           nullptr,
                           [this](const QString& s) { status = s; },
                           naming,
                           QLocale(QLocale::German, QLocale::Germany),
                           beforeClaim};
        in.mayProposeFolder = mayProposeFolder;
        return WriteAsciiResults(in);
    }
    QByteArray file(const AsciiWriteResult& r) { return readBytes(r.path); }
};

} // namespace

TEST(AsciiLayout, SwitchingRulesKeepPositionsDense) {
    AsciiLayout l;
    l.allOff();
    l.switchOn(0);
    l.switchOn(5);
    l.switchOn(21);
    l.switchOff(5);
    EXPECT_EQ(l.position[0], QStringLiteral("1"));
    EXPECT_EQ(l.position[21], QStringLiteral("2"));
    l.switchOn(8);
    EXPECT_EQ(l.position[8], QStringLiteral("3"));
    l.switchOn(0); // already on: keeps its place
    EXPECT_EQ(l.position[0], QStringLiteral("1"));
    l.allOn();
    EXPECT_EQ(positions(l), QStringLiteral("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22"));
}

TEST(AsciiLayout, FreshStoreExportAndImport) {
    TempSettings tmp;
    settings::SettingsStore store;
    AsciiLayout l = loadLayout(store);
    EXPECT_EQ(positions(l), QStringLiteral("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22"));
    EXPECT_EQ(l.separator, QStringLiteral(","));
    // The dialog shows the file type the writer uses: a station that never stored one writes .txt.
    EXPECT_FALSE(l.csv);
    EXPECT_TRUE(l.txt);
    EXPECT_EQ(readOutputLayout(store).csv, std::optional<bool>(false));
    // Opening the dialog stores no empty positions the writer would take for "not written".
    EXPECT_FALSE(store.ReadDirect(QStringLiteral("ASCIISettings"), QStringLiteral("Label1_0")).has_value());

    l.allOff();
    l.switchOn(0);
    l.switchOn(5);
    l.separator = QStringLiteral(";");
    l.csv = false;
    l.txt = true;
    const QStringList lines = exportLines(l);
    ASSERT_EQ(lines.size(), 47);
    EXPECT_EQ(lines[19], QStringLiteral("\";\""));
    EXPECT_EQ(lines[23], QStringLiteral("#FALSE#"));
    EXPECT_EQ(lines[25], QStringLiteral("\"1\""));
    EXPECT_EQ(lines[26], QStringLiteral("\"\""));

    AsciiLayout back = loadLayout(store);
    importLines(back, lines);
    EXPECT_EQ(exportLines(back), lines);

    AsciiLayout partial = loadLayout(store);
    QStringList broken = lines.mid(0, 20);
    broken[0] = QStringLiteral("#TRUE#"); // unreadable: column 0 keeps its switch
    importLines(partial, broken);
    EXPECT_TRUE(partial.on[0]);
    EXPECT_FALSE(partial.on[1]);
    EXPECT_EQ(partial.separator, QStringLiteral(";"));
    EXPECT_TRUE(partial.on[21]); // beyond the short file: unchanged
}

TEST(WriteAsciiResults, LinesTitlesMarkersAndSkippedRows) {
    Write w;
    w.layout({{0, 1}, {5, 2}, {21, 3}}, QStringLiteral(";"));
    w.row("P1", "X", 10.5, "PROTOKOLL", {"Gut", QString::fromUtf8("geprüft")});
    w.row("P2", "M", 1, "STATISTIK");
    w.row("P3", "M", 2, "BEIDE", {"<<# intern"});
    w.row("P4", "Y", -0.00002, "BEIDE", {"<<  Hinweis;1 "});
    w.row("P5", "Z", 3, "KEINE");
    w.selection[0] = false;
    w.selection[0] = true;
    const AsciiWriteResult r = w.run();
    ASSERT_TRUE(r.written) << w.messages.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(w.file(r), QByteArray("ID;Achse;Messwert;Kommentar\r\n"
                                    "P1;X;10,5;Gutgepr\xfc"
                                    "ft\r\n"
                                    "P4;Y;-0,00002;\"Hinweis;1\"\r\n"));  // a field holding ";" is quoted
    EXPECT_EQ(w.comments.block(4).Zeile[1], QStringLiteral("Hinweis;1")); // the table keeps the change
    EXPECT_EQ(w.status, QStringLiteral("S10"));
    EXPECT_TRUE(r.path.endsWith(QStringLiteral("UNKNOWN_FILE1.csv")));
}

TEST(WriteAsciiResults, HeaderBlockGapsSelectionAndDefaults) {
    Write w;
    w.layout({{5, 2}, {0, 3}}, QStringLiteral(","));
    w.store.Write(QStringLiteral("ProgSettings"), QStringLiteral("HEADER"), QStringLiteral("1"));
    w.header = {{QStringLiteral(" Auftrag "), QStringLiteral(" 4711 ")}, {QString::fromUtf8(" Prüfer"), {}}};
    w.row("A", "X", 1, "BEIDE");
    w.row("B", "Y", 2, "BEIDE");
    w.row("C", "Z", 3, "BEIDE");
    w.selection = {false, true, false};
    const AsciiWriteResult r = w.run();
    ASSERT_TRUE(r.written);
    // No column at position 1: every line starts with the separator.
    EXPECT_EQ(w.file(r), QByteArray("Auftrag,4711\r\nPr\xfc"
                                    "fer,\r\n,Messwert,ID,Achse\r\n,2,B,Y\r\n"));

    Write fresh; // a layout never stored: all 22 columns in column order
    fresh.store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("CSV"), QStringLiteral("1"));
    model::MerkmalRow& row = fresh.row("F", "M", 1.25, "BEIDE");
    row.Markiert = true;
    const AsciiWriteResult f = fresh.run();
    ASSERT_TRUE(f.written);
    const QList<QByteArray> lines = fresh.file(f).split('\n');
    EXPECT_EQ(lines[0].count(','), 22);
    // The default "," meets the decimal comma: that number is quoted, the line still splits in 23.
    EXPECT_EQ(lines[1], QByteArray("F,M,0,0,0,0,\"1,25\",0,0,0,0,,BEIDE,Wahr,,,,,,,0,,\r"));
}

TEST(WriteAsciiResults, RefusalsAndFailuresLeaveNoFile) {
    struct Case {
        const char* name;
        std::function<void(Write&)> setup;
        const char* message;
    };
    const Case cases[] = {
        {"empty list", [](Write& w) { w.selection.clear(); }, "M45\r\nM46"},
        {"nothing selected", [](Write& w) { w.selection.assign(w.selection.size(), false); }, "M24\r\nM46"},
        {"file type unreadable",
         [](Write& w) {
             w.store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("CSV"), QStringLiteral("ja"));
         },
         "M47\r\nM48"},
        {"folder missing",
         [](Write& w) {
             w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"),
                           w.tmp.path() + QStringLiteral("/gone"));
         },
         "M49"},
        {"no separator",
         [](Write& w) { w.store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), QString()); },
         "M65"},
        {"no result folder",
         [](Write& w) {
             w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), QStringLiteral(" "));
         },
         "M66"},
        {"part program folder without host",
         [](Write& w) {
             w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("PartProgFolder"),
                           QStringLiteral("-1"));
         },
         "M15"},
    };
    for (const Case& c : cases) {
        Write w;
        w.layout({{0, 1}}, QStringLiteral(","));
        w.row("A", "X", 1, "BEIDE");
        c.setup(w);
        const AsciiWriteResult r = w.run();
        EXPECT_FALSE(r.written) << c.name;
        ASSERT_EQ(w.messages.size(), 1) << c.name;
        EXPECT_TRUE(w.messages[0].startsWith(QString::fromLatin1(c.message))) << c.name;
        EXPECT_EQ(w.status, QStringLiteral("S11")) << c.name;
        EXPECT_TRUE(
            QDir(w.tmp.path()).entryList({QStringLiteral("*.csv"), QStringLiteral("*.txt")}).isEmpty())
            << c.name;
    }
}

TEST(WriteAsciiResults, AnUnwritableResultFolderOffersTheDocumentsFolderOnce) {
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    for (const auto answer : {common::MsgResult::No, common::MsgResult::Yes}) {
        Write w;
        const QString home = w.tmp.path() + QStringLiteral("/home");
        const QString documents = home + QStringLiteral("/Documents");
        qputenv("HOME", home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (w.tmp.path() + QStringLiteral("/cfg")).toLocal8Bit());
        w.layout({{0, 1}}, QStringLiteral(","));
        w.row("A", "X", 1, "BEIDE");
        // The program folder of an installation: no folder a user may write into.
        const QString programFolder = w.tmp.path() + QStringLiteral("/usr-bin");
        w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), programFolder);
        w.mayProposeFolder = true;
        w.answer = answer;
        const AsciiWriteResult r = w.run();
        ASSERT_GE(w.messages.size(), 1);
        EXPECT_TRUE(w.messages[0].contains(programFolder));
        EXPECT_TRUE(w.messages[0].contains(documents));
        const QString stored = w.store.Read(QStringLiteral("FileSettings"), QStringLiteral("DIR"), {});
        if (answer == common::MsgResult::No) {
            EXPECT_FALSE(r.written);
            EXPECT_EQ(w.messages.size(), 2); // and the failure
            EXPECT_EQ(stored, programFolder);
        } else {
            EXPECT_TRUE(r.written);
            EXPECT_EQ(QFileInfo(r.path).absolutePath(), documents);
            EXPECT_EQ(stored, documents);
            // The next export goes there without asking.
            w.messages.clear();
            EXPECT_TRUE(w.run().written);
            EXPECT_TRUE(w.messages.isEmpty());
        }
    }
    qputenv("HOME", oldHome);
    oldConfig.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(WriteAsciiResults, ANameTakenWhileWritingGivesWayToTheNextCounter) {
    struct Case {
        const char* name;
        bool counter;
        const char* planned;
        const char* used;
    };
    const Case cases[] = {
        {"no counter", false, "UNKNOWN_FILE1.csv", "UNKNOWN_FILE1__0001.csv"},
        {"counter", true, "UNKNOWN_FILE1__0001.csv", "UNKNOWN_FILE1__0002.csv"},
    };
    for (const Case& c : cases) {
        Write w;
        w.layout({{0, 1}}, QStringLiteral(","));
        w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("FileCounter"),
                      QString::fromLatin1(c.counter ? "1" : "0"));
        w.row("A", "X", 1, "BEIDE");
        // Another run writes the planned name after this one chose it.
        QStringList tried;
        w.beforeClaim = [&](const QString& path) {
            if (tried.isEmpty()) {
                QFile other(path);
                ASSERT_TRUE(other.open(QIODevice::NewOnly));
                other.write("other run");
            }
            tried << QFileInfo(path).fileName();
        };
        const AsciiWriteResult r = w.run();
        ASSERT_TRUE(r.written) << c.name << w.messages.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(tried, QStringList({c.planned, c.used})) << c.name;
        EXPECT_EQ(QFileInfo(r.planned).fileName(), QString::fromLatin1(c.planned)) << c.name;
        EXPECT_EQ(QFileInfo(r.path).fileName(), QString::fromLatin1(c.used)) << c.name;
        EXPECT_EQ(w.file(r), QByteArray("ID,Achse\r\nA,X\r\n")) << c.name;
        QFile other(r.planned);
        ASSERT_TRUE(other.open(QIODevice::ReadOnly));
        EXPECT_EQ(other.readAll(), QByteArray("other run")) << c.name;
        EXPECT_EQ(QDir(w.tmp.path()).entryList({QStringLiteral("UNKNOWN*")}, QDir::Files).size(), 2)
            << c.name;
    }

    // The last counter taken meanwhile: the counter message, and nothing of ours is left.
    Write w;
    w.layout({{0, 1}}, QStringLiteral(","));
    w.store.Write(QStringLiteral("FileSettings"), QStringLiteral("FileCounter"), QStringLiteral("1"));
    w.row("A", "X", 1, "BEIDE");
    w.naming.exists = [](const QString& path) { return !path.endsWith(QStringLiteral("9999.csv")); };
    w.beforeClaim = [](const QString& path) {
        QFile other(path);
        other.open(QIODevice::NewOnly);
    };
    const AsciiWriteResult r = w.run();
    EXPECT_FALSE(r.written);
    ASSERT_EQ(w.messages.size(), 1);
    EXPECT_TRUE(w.messages[0].startsWith(QStringLiteral("M14")));
    EXPECT_EQ(w.status, QStringLiteral("S11"));
    EXPECT_EQ(QDir(w.tmp.path()).entryList({QStringLiteral("UNKNOWN*")}, QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("UNKNOWN_FILE1__9999.csv")}));
}

TEST(WriteAsciiResults, FieldsThatHoldTheSeparatorAreQuoted) {
    // The default "," with a German locale: decimal commas, and texts with quotes and commas,
    // still give lines every program splits the same way; the user is told.
    Write w;
    w.layout({{0, 1}, {5, 2}, {21, 3}}, QStringLiteral(","));
    w.row("P1", "X", 10.5, "BEIDE", {QStringLiteral("Bohrung \"A\", innen")});
    w.row("P2", "Y", 3, "BEIDE");
    const AsciiWriteResult r = w.run();
    ASSERT_TRUE(r.written);
    EXPECT_EQ(w.file(r), QByteArray("ID,Achse,Messwert,Kommentar\r\n"
                                    "P1,X,\"10,5\",\"Bohrung \"\"A\"\", innen\"\r\n"
                                    "P2,Y,3,\r\n"));
    EXPECT_EQ(r.numbersHoldSeparator, QStringLiteral(","));

    Write semicolon; // nothing collides: nothing quoted, nothing said
    semicolon.layout({{0, 1}, {5, 2}}, QStringLiteral(";"));
    semicolon.row("P1", "X", 10.5, "BEIDE");
    const AsciiWriteResult plain = semicolon.run();
    EXPECT_EQ(semicolon.file(plain), QByteArray("ID;Achse;Messwert\r\nP1;X;10,5\r\n"));
    EXPECT_TRUE(plain.numbersHoldSeparator.isEmpty());
}

namespace {

// Rows whose values need every digit and a comment beyond ASCII, written with a preset.
QByteArray presetFile(settings::CsvPreset preset) {
    Write w;
    w.layout({{0, 1}, {5, 2}, {21, 3}}, QStringLiteral("|"));
    settings::writeCsvPreset(w.store, preset);
    w.row("B1", "X", 120.006, "BEIDE", {QString::fromUtf8("Maß ü")});
    w.row("B2", "Y", 25.0123456789, "BEIDE");
    w.row("B3", "Z", -0.014, "BEIDE");
    return w.file(w.run());
}

QByteArray presetHistory(settings::CsvPreset preset) {
    history::SeriesPoint p;
    p.partUuid = QStringLiteral("u1");
    p.measuredUtc = QDateTime(QDate(2026, 3, 29), QTime(1, 30, 5, 250), Qt::UTC);
    p.measured = 120.006;
    p.upperTol = 0.014;
    p.lowerTol = -0.0123456789;
    p.header = {{QString::fromUtf8("Maß"), QStringLiteral("a;b")}};
    return history::seriesCsv(QStringLiteral("T"), {{{QStringLiteral("B1"), QStringLiteral("X")}, {p}}},
                              preset);
}

} // namespace

TEST(CsvPreset, ResultAndHistoryBytesPerPreset) {
    using P = settings::CsvPreset;
    const QByteArray title =
        "program,characteristic,part,time_utc,measured,nominal,upper_tol,lower_tol,classification";
    const QByteArray line = "T,B1.X,u1,2026-03-29T01:30:05.250Z,120.006,0,0.014,-0.0123456789,ok,a;b\r\n";
    const struct {
        P preset;
        QByteArray result;
        QByteArray history;
    } cases[] = {
        // Today's files: the stored separator, the (German) locale's decimal comma, Windows-1252.
        {P::Locale,
         "ID|Achse|Messwert|Kommentar\r\nB1|X|120,006|Ma\xdf \xfc\r\nB2|Y|25,0123456789|\r\nB3|Z|-0,014|\r\n",
         title + ",Ma\xc3\x9f\r\n" + line},
        {P::International,
         "\xef\xbb\xbfID,Achse,Messwert,Kommentar\r\nB1,X,120.006,Ma\xc3\x9f \xc3\xbc\r\n"
         "B2,Y,25.0123456789,\r\nB3,Z,-0.014,\r\n",
         "\xef\xbb\xbf" + title + ",Ma\xc3\x9f\r\n" + line},
        {P::GermanExcel,
         "ID;Achse;Messwert;Kommentar\r\nB1;X;120,006;Ma\xdf \xfc\r\nB2;Y;25,0123456789;\r\nB3;Z;-0,014;\r\n",
         QByteArray(title).replace(',', ';') +
             ";Ma\xdf\r\nT;B1.X;u1;29.03.2026 01:30:05;120,006;0;0,014;-0,0123456789;ok;\"a;b\"\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(presetFile(c.preset), c.result) << settings::csvPresetName(c.preset).toStdString();
        EXPECT_EQ(presetHistory(c.preset), c.history) << settings::csvPresetName(c.preset).toStdString();
    }
    TempSettings tmp; // a store without the key, or with a name it does not know, keeps today's files
    EXPECT_EQ(settings::readCsvPreset(settings::SettingsStore()), P::Locale);
    EXPECT_EQ(settings::csvPresetFromName(QStringLiteral("excel")), P::Locale);
}

// LibreOffice imports each preset's files with the options a user picks for it (the language is
// the preset's: LibreOffice 7.4 takes a Windows language number and ignores a tag like "de-DE"),
// on a German and an English desktop: every number arrives exactly, the German time as a date.
TEST(CsvPreset, LibreOfficeReadsEveryNumberOnGermanAndEnglishDesktops) {
    QTemporaryDir dir;
    const struct {
        settings::CsvPreset preset;
        const char* options; // separator, text qualifier, character set, first line, formats, language
        const char* time;    // what the history's time becomes
    } cases[] = {{settings::CsvPreset::International, "44,34,76,1,,1033", "str"},
                 {settings::CsvPreset::GermanExcel, "59,34,1,1,,1031", "datetime"}};
    for (const auto& c : cases)
        for (const char* lang : {"de_DE.UTF-8", "en_US.UTF-8"}) {
            const QString out = dir.filePath(settings::csvPresetName(c.preset) + QLatin1String(lang));
            ASSERT_TRUE(QDir().mkpath(out));
            writeBytes(out + QStringLiteral("/result.csv"), presetFile(c.preset));
            writeBytes(out + QStringLiteral("/history.csv"), presetHistory(c.preset));
            QProcess run;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"LANG", "LC_ALL"})
                env.insert(QLatin1String(name), QLatin1String(lang));
            run.setProcessEnvironment(env);
            run.setWorkingDirectory(out);
            run.start(QStringLiteral("soffice"),
                      {QStringLiteral("-env:UserInstallation=file://%1/profile").arg(out),
                       QStringLiteral("--headless"),
                       QStringLiteral("--infilter=Text - txt - csv (StarCalc):") + QLatin1String(c.options),
                       QStringLiteral("--convert-to"), QStringLiteral("xlsx"), QStringLiteral("--outdir"),
                       out, QStringLiteral("result.csv"), QStringLiteral("history.csv")});
            ASSERT_TRUE(run.waitForFinished(180000)) << "soffice did not run: install libreoffice-calc-nogui";
            run.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral("-c"),
                       QStringLiteral("import openpyxl as o\n"
                                      "r=o.load_workbook('result.xlsx').active.iter_rows(min_row=2)\n"
                                      "h=o.load_workbook('history.xlsx').active\n"
                                      "print([[c.value for c in x] for x in r],"
                                      "type(h['D2'].value).__name__,h['E2'].value)")});
            run.waitForFinished(60000);
            EXPECT_EQ(run.readAllStandardOutput().trimmed().toStdString(),
                      QString::fromUtf8("[['B1', 'X', 120.006, 'Maß ü'], ['B2', 'Y', 25.0123456789, None], "
                                        "['B3', 'Z', -0.014, None]] %1 120.006")
                          .arg(QLatin1String(c.time))
                          .toStdString())
                << lang << " " << c.options;
        }
}
