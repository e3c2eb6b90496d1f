#include "common/SimPrograms.h"
#include "settings/OutputFileSettings.h"
#include "settings/SequentialFile.h"
#include "settings/ResultFileName.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace settings;

namespace {

struct Names {
    std::shared_ptr<sim::SimHost> host;
    std::shared_ptr<host::HostPartProgram> program;
    NamingContext ctx;
    QSet<QString> existing;

    explicit Names(const QString& partName = QStringLiteral("W123"),
                   const QString& drawing = QStringLiteral("Z-77")) {
        QJsonObject doc = ProgramBuilder().document();
        doc.insert("partName", partName);
        doc.insert("revision", "B");
        doc.insert("drawingNumber", drawing);
        host = sim::SimHost::create(sim::parseProgram(doc, "/tmp/W.PRG"));
        program = host->partProgram();
        ctx.program = program.get();
        ctx.date = QDate(2026, 12, 6);
        ctx.time = QTime(14, 5, 9);
        ctx.locale = QLocale(QLocale::German, QLocale::Germany);
        ctx.exists = [this](const QString& p) { return existing.contains(p); };
    }
    QString make(FileNameSelection s, const QString& ext = QStringLiteral("csv")) {
        return planResultFileName(s, QStringLiteral("/out/"), ext, ctx).path();
    }
};

FileNameSelection sel(int a, int b, int c, int d, int e, int sep = 1, bool counter = false) {
    return FileNameSelection{a, b, c, d, e, sep, counter};
}

} // namespace

TEST(ResultFileName, ComponentsSeparatorsAndCounter) {
    Names n;
    EXPECT_EQ(n.make(sel(0, 1, 1, 1, 1)), QStringLiteral("/out/W123__B__Z-77__06.12.2026__14.05.09.csv"));
    // Empty components in the middle keep their separators; empty ones at the end are dropped.
    EXPECT_EQ(n.make(sel(0, 0, 3, 0, 1)), QStringLiteral("/out/W123____06.12.2026____14.05.09.csv"));
    EXPECT_EQ(n.make(sel(1, 0, 0, 0, 0)), QStringLiteral("/out/Z-77.csv"));
    EXPECT_EQ(n.make(sel(0, 7, 0, 0, 0, 9)), QStringLiteral("/out/W123___UNKNOWN_FILE2.csv"));
    EXPECT_EQ(n.make(sel(2, 2, 2, 2, 2, 0)),
              QStringLiteral("/out/UNKNOWN_FILE1___W123___B___14.05.09___UNKNOWN_FILE5.csv"));

    n.existing = {QStringLiteral("/out/W123-0001.txt")};
    EXPECT_EQ(n.make(sel(0, 0, 0, 0, 0, 5, true), QStringLiteral("txt")),
              QStringLiteral("/out/W123-0002.txt"));
    n.existing.clear();
    EXPECT_EQ(n.make(sel(0, 0, 0, 0, 0, 5, true), QStringLiteral("txt")),
              QStringLiteral("/out/W123-0001.txt"));

    EXPECT_EQ(CurrentTimeText(QTime(9, 3, 7)), QStringLiteral("09.03.07"));
}

TEST(ResultFileName, MendedFaults) {
    // Characters a file name cannot hold: no extra folder levels, no leaving the folder.
    Names n(QStringLiteral("..\\Welle/1:2*?\"<>|"), QStringLiteral("Z/77"));
    n.ctx.locale = QLocale(QLocale::English, QLocale::UnitedStates); // 12/6/2026
    EXPECT_EQ(n.make(sel(0, 0, 3, 0, 0)), QStringLiteral("/out/..-Welle-1-2------____12-6-2026.csv"));

    // Every counter value taken: no name at all, never a reused one.
    n.ctx.exists = [](const QString&) { return true; };
    try {
        n.make(sel(1, 0, 0, 0, 0, 5, true));
        FAIL();
    } catch (const ResultNameError& e) {
        EXPECT_EQ(e.kind(), ResultNameError::Kind::CounterExhausted);
    }

    // The host gone: a name that needs it cannot be formed; one that does not, can.
    n.ctx.program = nullptr;
    EXPECT_THROW(n.make(sel(0, 0, 0, 0, 0)), ResultNameError);
    EXPECT_EQ(n.make(sel(3, 0, 3, 0, 0)), QStringLiteral("/out/UNKNOWN_FILE1____12-6-2026.csv"));
}

TEST(ResultFileName, NextNameAfterATakenOne) {
    // A planned name another run took first gives way to the next free counter.
    struct Case {
        const char* name;
        FileNameSelection selection;
        QStringList existing;
        const char* planned;
        const char* next;
    };
    const Case cases[] = {
        {"no counter", sel(0, 0, 0, 0, 0, 5), {}, "/out/W123.csv", "/out/W123-0001.csv"},
        {"no counter, first counters there",
         sel(0, 0, 0, 1, 1, 1),
         {"/out/W123______06.12.2026__14.05.09__0001.csv", "/out/W123______06.12.2026__14.05.09__0002.csv"},
         "/out/W123______06.12.2026__14.05.09.csv",
         "/out/W123______06.12.2026__14.05.09__0003.csv"},
        {"counter", sel(0, 0, 0, 0, 0, 5, true), {}, "/out/W123-0001.csv", "/out/W123-0002.csv"},
        {"counter, a gap after the taken one",
         sel(0, 0, 0, 0, 0, 5, true),
         {"/out/W123-0001.csv", "/out/W123-0003.csv"},
         "/out/W123-0002.csv",
         "/out/W123-0004.csv"},
    };
    for (const Case& c : cases) {
        Names n;
        n.existing = QSet<QString>(c.existing.begin(), c.existing.end());
        const ResultFileName planned = planResultFileName(c.selection, QStringLiteral("/out/"), "csv", n.ctx);
        EXPECT_EQ(planned.path(), QString::fromLatin1(c.planned)) << c.name;
        EXPECT_EQ(nextResultFileName(planned, n.ctx).path(), QString::fromLatin1(c.next)) << c.name;
    }
}

TEST(OutputFileSettings, ExportImportAndTheSeventeenLines) {
    OutputFileSettings s;
    s.drive = QStringLiteral("/");
    s.folder = QStringLiteral("/srv/qs/results");
    s.selectFolder = true;
    s.defaultFolder = false;
    s.fileName[2] = 3;
    s.separator = 5;
    s.fileCounter = true;
    s.tolProzent = QStringLiteral("85");
    s.currentUser = true;
    s.minimize = true;
    const QStringList lines = exportOutputFileSettings(s);
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[0], QStringLiteral("\"/\""));
    EXPECT_EQ(lines[2], QStringLiteral("#FALSE#"));
    EXPECT_EQ(lines[6], QStringLiteral("1"));
    EXPECT_EQ(lines[14], QStringLiteral("\"85\""));
    EXPECT_EQ(lines[15], QStringLiteral("\"TRUE\""));

    OutputFileSettings back;
    importOutputFileSettings(back, lines);
    EXPECT_EQ(exportOutputFileSettings(back), lines);

    // Fourteen lines: the warning limit falls back to 90; an unreadable item is skipped.
    OutputFileSettings shortFile = s;
    QStringList fourteen = lines.mid(0, 14);
    fourteen[8] = QStringLiteral("#TRUE#");
    importOutputFileSettings(shortFile, fourteen);
    EXPECT_EQ(shortFile.tolProzent, QStringLiteral("90"));
    EXPECT_EQ(shortFile.separator, 5);

    EXPECT_EQ(sequential::readText(QStringLiteral("\";\"")), QStringLiteral(";"));
    EXPECT_EQ(sequential::readBoolean(QStringLiteral("#true#")), true);
    EXPECT_EQ(sequential::readInteger(QStringLiteral("x")), std::nullopt);
}
