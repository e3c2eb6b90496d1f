#include "run/modCommandLine.h"

#include <gtest/gtest.h>

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
              QStringList({"O", "x", "y", "ALO", "z"})); // any case, as typed on Windows
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

TEST(StartArgs, TheCommandLineIsRunWindowHelpVersionOrAMistake) {
    using A = run::CommandLine::Action;
    const struct {
        QStringList words;
        A action;
        bool quiet;
    } cases[] = {
        {{}, A::Window, false},
        {{QStringLiteral("/a")}, A::Run, false},
        {{QStringLiteral("-q"), QStringLiteral("M")}, A::Run, true},
        {{QStringLiteral("o"), QStringLiteral("/f/F.xlsx"), QStringLiteral("/f/L"), QStringLiteral("/ALO"),
          QStringLiteral("/f/K.xlsx"), QStringLiteral("--quiet")},
         A::Run,
         true},
        // Qt's own options go to the application object, with their values.
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("/a")}, A::Run, false},
        {{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("-reverse")}, A::Window, false},
        // Help and version anywhere, even after a mistake.
        {{QStringLiteral("/a"), QStringLiteral("-h")}, A::Help, false},
        {{QStringLiteral("--foo"), QStringLiteral("--version")}, A::Version, false},
        {{QStringLiteral("-v")}, A::Version, false},
        // Anything else is refused rather than opening a window or waiting headless.
        {{QStringLiteral("--foo")}, A::Error, false},
        {{QStringLiteral("/x")}, A::Error, false},
        {{QStringLiteral("/aa")}, A::Error, false},
        {{QStringLiteral("Form.xlsx")}, A::Error, false},
        {{QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
          QStringLiteral("4"), QStringLiteral("5")},
         A::Error,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.join(QLatin1Char(' ')).toStdString());
        const run::CommandLine l = run::parseCommandLine(c.words);
        EXPECT_EQ(l.action, c.action);
        if (c.action == A::Run)
            EXPECT_EQ(l.quiet, c.quiet);
        if (c.action == A::Error)
            EXPECT_FALSE(l.error.isEmpty());
    }
}
