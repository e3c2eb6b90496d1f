#include "run/BatchFile.h"
#include "run/CommandLine.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace run;

namespace {
QStringList list(const StartArgsArray& a) {
    return {a[1], a[2], a[3], a[4], a[5]};
}
} // namespace

TEST(StartArgs, WindowsCommandLineText) {
    EXPECT_EQ(list(ParseCommandLine(QStringLiteral("/a /C:\\Forms\\Teil 1.xls /C:\\Cfg\\report.cfg /ALL"))),
              QStringList({"a", "C:\\Forms\\Teil 1.xls", "C:\\Cfg\\report.cfg", "ALL", ""}));
    EXPECT_EQ(list(ParseCommandLine(QStringLiteral("/a/C:\\Forms\\x.xls"))),
              QStringList({"a", "C:\\Forms\\x.xls", "", "", ""}));
    EXPECT_EQ(list(ParseCommandLine(QStringLiteral("lead /m//\t/x /1/2/3/4/5/6"))),
              QStringList({"lead", "m", "x", "1", "2"}));
    EXPECT_EQ(ParseCommandLine(QStringLiteral("/a/f.xls/r.cfg/oOt"))[4], QStringLiteral("OOT"));
    EXPECT_EQ(list(ParseCommandLine(QString())), QStringList({"", "", "", "", ""}));
}

TEST(StartArgs, PosixWords) {
    EXPECT_EQ(list(StartArgsFromWords({"/a", "/home/qs/Forms/Teil 1.xlsx", "/home/qs/R.cfg", "/ALL"})),
              QStringList({"a", "/home/qs/Forms/Teil 1.xlsx", "/home/qs/R.cfg", "ALL", ""}));
    EXPECT_EQ(list(StartArgsFromWords({" /O ", "x", "y", "/alo", "z", "sixth"})),
              QStringList({"O", "x", "y", "ALO", "z"}));                    // any case, as typed on Windows
    EXPECT_EQ(StartArgsFromWords({"/ALLES"})[1], QStringLiteral("/ALLES")); // not a switch word
}

TEST(StartArgs, ChoiceRules) {
    model::MerkmalTable t;
    t.reset(6);
    auto add = [&](const char* out, bool marked, double atol, bool critical) {
        model::MerkmalRow& r = t.append();
        r.ID = QStringLiteral("R");
        r.Ausgabe = QString::fromLatin1(out);
        r.Markiert = marked;
        r.ATol = atol;
        r.Kritisch = critical;
    };
    add("PROTOKOLL", true, 0, false);
    add("BEIDE", false, 0.1, false);
    add("STATISTIK", true, 0.1, false);
    add("BEIDE", true, 0, true);
    add("KEINE", true, 0, true);
    add("PROTOKOLL", true, -0.2, false); // below the lower limit

    auto choose = [&](const char* mode, const char* choice) {
        StartArgsArray a{};
        a[1] = QString::fromLatin1(mode);
        a[4] = QString::fromLatin1(choice);
        return chooseRows(t, 6, a);
    };
    using S = model::Selection;
    EXPECT_EQ(choose("a", "ALL"), (S{true, true, false, true, false, true}));
    EXPECT_EQ(choose("a", ""), (S{true, true, false, true, false, true}));
    EXPECT_EQ(choose("a", "alo"), (S{true, true, false, true, false, true}));
    EXPECT_EQ(choose("m", "ALL"), (S{true, false, false, true, false, true}));
    EXPECT_EQ(choose("a", "OOT"), (S{false, true, false, true, false, true}));
    EXPECT_EQ(choose("o", "OOT"), (S{false, false, false, true, false, true}));
    EXPECT_EQ(choose("a", "oot"), choose("a", "OOT"));
    EXPECT_EQ(choose("a", "OTT"), (S(6, false)));
    EXPECT_TRUE(isRunMode(QStringLiteral("O")));
    EXPECT_FALSE(isRunMode(QStringLiteral("x")));
}

TEST(StartArgs, TheCommandLinesBatchFilesContain) {
    using A = run::CommandLine::Action;
    const struct {
        QStringList words;
        A action;
        QStringList args; // StartArgs 1 to 5 of a run
        int ignored = 0;
        bool quiet = false;
    } cases[] = {
        {{}, A::Window, {}},
        {{"/a"}, A::Run, {"a", "", "", "", ""}},
        {{"/M"}, A::Run, {"M", "", "", "", ""}},
        {{"-q", "o"}, A::Run, {"o", "", "", "", ""}, 0, true},
        {{"/a", "/home/qs/Forms/Teil 1.xlsx", "/home/qs/R.cfg", "/ALL"},
         A::Run,
         {"a", "/home/qs/Forms/Teil 1.xlsx", "/home/qs/R.cfg", "ALL", ""}},
        {{"/a", "/f/F.xlsx", "/f/L", "/alo", "/f/K.xlsx"},
         A::Run,
         {"a", "/f/F.xlsx", "/f/L", "ALO", "/f/K.xlsx"}},
        // The sixth and later are no start options, as on Windows.
        {{"a", "1", "2", "3", "4", "5", "6"}, A::Run, {"a", "1", "2", "3", "4"}, 2},
        // A first word that is no run mode: the window, as without words.
        {{"/x"}, A::Window, {}},
        {{"/aa"}, A::Window, {}},
        {{"Form.xlsx"}, A::Window, {}},
        {{"/ALL", "/a"}, A::Window, {}},
        // Qt's own options go to the application object, with their values.
        {{"-platform", "offscreen", "/a"}, A::Run, {"a", "", "", "", ""}},
        {{"-style", "fusion", "-reverse"}, A::Window, {}},
        // Help and version anywhere, even after a mistake; other options of ours are mistakes.
        {{"/a", "-h"}, A::Help, {}},
        {{"--foo", "--version"}, A::Version, {}},
        {{"-v"}, A::Version, {}},
        {{"--foo"}, A::Error, {}},
        {{"/a", "--Quiet"}, A::Error, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.join(QLatin1Char(' ')).toStdString());
        const run::CommandLine l = run::parseCommandLine(c.words);
        EXPECT_EQ(l.action, c.action);
        EXPECT_EQ(l.ignored.size(), c.ignored);
        if (c.action == A::Run) {
            EXPECT_EQ(list(StartArgsFromWords(l.words)), c.args);
            EXPECT_EQ(l.quiet, c.quiet);
        }
        EXPECT_EQ(l.error.isEmpty(), c.action != A::Error);
    }
}

TEST(StartArgs, EveryScriptTheBatchWindowWritesStartsTheRunItWasMadeFor) {
#ifdef _WIN32
    GTEST_SKIP() << "the shell scripts are the Linux build's; batch files run under cmd in scripts/windows";
#endif
    // The script runs a stand-in for the program that prints the run log it was given, then its
    // arguments.
    QTemporaryDir dir;
    const QString echo = dir.filePath(QStringLiteral("args.sh"));
    QFile e(echo);
    ASSERT_TRUE(e.open(QIODevice::WriteOnly));
    e.write("#!/bin/sh\nprintf '%s\\n' \"$DOZIDUVOV_RUN_LOG\"\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
    e.close();
    e.setPermissions(e.permissions() | QFileDevice::ExeOwner);
    const char* modes[] = {"a", "m", "o"};
    const char* choices[] = {"ALL", "OOT", "ALO"};
    for (int mode = 0; mode < 3; ++mode)
        for (int choice = 0; choice < 3; ++choice) {
            run::BatchChoice b;
            b.mode = mode;
            b.choice = choice;
            b.workbook1 = dir.filePath(QStringLiteral("Teil 1 'A'.xlsx"));
            b.workbook2 = choice == 2 ? dir.filePath(QStringLiteral("K $x.xlsx")) : QString();
            b.configuration = dir.filePath(QStringLiteral("R.cfg"));
            b.program = echo;
            const run::BatchFile f = run::makeBatchFile(b, run::ScriptKind::PosixShell);
            run::writeBatchFile(f, run::ScriptKind::PosixShell);
            QProcess p;
            p.start(f.path, {});
            ASSERT_TRUE(p.waitForFinished(10000));
            QStringList words = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            ASSERT_FALSE(words.isEmpty());
            EXPECT_EQ(words.takeFirst(), dir.filePath(QStringLiteral("Teil 1 'A'.log")));
            const run::CommandLine l = run::parseCommandLine(words);
            SCOPED_TRACE(words.join(QLatin1Char('|')).toStdString());
            ASSERT_EQ(l.action, run::CommandLine::Action::Run);
            EXPECT_EQ(list(StartArgsFromWords(l.words)),
                      QStringList({modes[mode], b.workbook1, b.configuration, choices[choice], b.workbook2}));
        }
}
