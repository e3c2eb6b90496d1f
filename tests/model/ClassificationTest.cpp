#include "model/Classification.h"
#include "settings/ProgramSettings.h"

#include <gtest/gtest.h>

using namespace model;
using model::MerkmalRow;
using model::MerkmalTable;

namespace {

MerkmalRow row(const char* typ, double nominal, double otol, double utol, double measured,
               double atol = 0.0) {
    MerkmalRow r;
    r.Typ = QString::fromLatin1(typ);
    r.Nennwert = nominal;
    r.OTol = otol;
    r.UTol = utol;
    r.Messwert = measured;
    r.ATol = atol;
    return r;
}

MerkmalTable tableOf(const std::vector<MerkmalRow>& rows) {
    MerkmalTable t;
    t.reset(static_cast<int>(rows.size()));
    for (const MerkmalRow& r : rows)
        t.append() = r;
    return t;
}

} // namespace

TEST(Klassifizieren, RowByRow) {
    struct Case {
        MerkmalRow row;
        double p;
        bool kritisch;
        bool warning;
        int oot;
    };
    const Case cases[] = {
        // The worked example: limits 9.91 and 10.09 at p = 90; equal to a limit is inside.
        {row("X_LOCATION", 10, 0.1, -0.1, 10.095), 90, true, true, 0},
        {row("X_LOCATION", 10, 0.1, -0.1, 10.09), 90, false, false, 0},
        {row("X_LOCATION", 10, 0.1, -0.1, 9.91), 90, false, false, 0},
        {row("X_LOCATION", 10, 0.1, -0.1, 9.9099), 90, true, true, 0},
        // One-sided: flatness 0 / +0.05 has its limit at 0.045.
        {row("FLATNESS", 0, 0.05, 0, 0.045), 90, false, false, 0},
        {row("FLATNESS", 0, 0.05, 0, 0.04501), 90, true, true, 0},
        {row("FLATNESS", 0, 0.05, 0, -1), 90, false, false, 0}, // no lower limit on one side
        // Out of tolerance beyond the limit: counts as OOT only, but warns.
        {row("D_LOCATION", 10, 0.1, -0.1, 10.2, 0.1), 90, false, true, 1},
        // Never critical, still counted out of tolerance.
        {row("TRUE_X_LOCATION", 0, 0, 0, 5, 5), 90, false, false, 1},
        // A zero-width band is always beyond the warning limit; out of tolerance it counts
        // there alone, below as above the band (each row once: never a negative OK count).
        {row("2D_DISTANCE", 5, 0, 0, 5), 90, true, true, 0},
        {row("2D_DISTANCE", 5, 0, 0, 6, 1), 90, false, true, 1},
        {row("2D_DISTANCE", 5, 0, 0, 4, -1), 90, false, true, 1},
        // Negative ATol still counts as out of tolerance.
        {row("Z_LOCATION", 0, 1, -1, -2, -1), 90, false, true, 1},
        // p = 100 puts the limits on the tolerance itself.
        {row("X_LOCATION", 10, 0.1, -0.1, 10.1), 100, false, false, 0},
        // One hundred-thousandth beyond the limit is beyond it, at any size of the nominal.
        {row("X_LOCATION", 20, 0.1, -0.1, 20.09001), 90, true, true, 0},
        {row("X_LOCATION", 20000, 0.1, -0.1, 20000.09001), 90, true, true, 0},
        {row("X_LOCATION", 20000, 0.1, -0.1, 20000.09), 90, false, false, 0},
        {row("X_LOCATION", 20000, 0.1, -0.1, 19999.90999), 90, true, true, 0},
        // A limit between two grid points: the nearer value inside is inside.
        {row("FLATNESS", 0, 0.00003, 0, 0.00003), 95, true, true, 0},
        {row("FLATNESS", 0, 0.00003, 0, 0.00002), 95, false, false, 0},
    };
    for (const Case& c : cases) {
        MerkmalTable t = tableOf({c.row});
        const ClassificationResult r = Klassifizieren(t, c.p);
        SCOPED_TRACE(c.row.Typ.toStdString() + " " + std::to_string(c.row.Messwert));
        EXPECT_EQ(t.row(1).Kritisch, c.kritisch);
        EXPECT_EQ(r.WarnungGefunden, c.warning);
        EXPECT_EQ(t.AnzOOT, c.oot);
        EXPECT_EQ(t.AnzKritisch, c.kritisch ? 1 : 0);
        EXPECT_EQ(t.AnzOK, 1 - t.AnzKritisch - t.AnzOOT);
        EXPECT_GE(t.AnzOK, 0);
    }
}

TEST(Klassifizieren, CountsAndTheOneLitLamp) {
    MerkmalTable empty = tableOf({});
    ClassificationResult r = Klassifizieren(empty, 90);
    EXPECT_EQ(r.litLamp, Lamp::Shape1);
    EXPECT_EQ(r.AnzOOT, 0);
    EXPECT_EQ(r.AnzOK, 0);

    MerkmalTable ok = tableOf({row("X_LOCATION", 0, 1, -1, 0.1), row("ROUNDNESS", 0, 0.1, 0, 0.01)});
    r = Klassifizieren(ok, 90);
    EXPECT_EQ(r.litLamp, Lamp::Shape1);
    EXPECT_EQ(ok.AnzOK, 2);

    MerkmalTable warn = tableOf({row("X_LOCATION", 0, 1, -1, 0.1), row("X_LOCATION", 0, 1, -1, 0.95)});
    r = Klassifizieren(warn, 90);
    EXPECT_EQ(r.litLamp, Lamp::Shape2);
    EXPECT_EQ(r.AnzKritisch, 1);
    EXPECT_EQ(r.AnzOK, 1);

    // One out of tolerance and one critical: red only; the critical count has the second row.
    MerkmalTable mixed = tableOf({row("X_LOCATION", 0, 1, -1, 2, 1), row("X_LOCATION", 0, 1, -1, 0.95),
                                  row("X_LOCATION", 0, 1, -1, 0)});
    r = Klassifizieren(mixed, 90);
    EXPECT_EQ(r.litLamp, Lamp::Shape3);
    EXPECT_EQ(r.AnzOOT, 1);
    EXPECT_EQ(mixed.AnzKritisch, 1);
    EXPECT_TRUE(mixed.row(2).Kritisch);
    EXPECT_EQ(mixed.AnzOK, 1);
}

TEST(Klassifizieren, WarningPercentFromTheStoredText) {
    EXPECT_EQ(settings::warningPercent(QStringLiteral("80")), 80.0);
    EXPECT_EQ(settings::warningPercent(QStringLiteral("87.5")), 87.5);
    EXPECT_EQ(settings::warningPercent(QStringLiteral("")), 90.0);
    EXPECT_EQ(settings::warningPercent(QStringLiteral("neunzig")), 90.0);
}

TEST(MarkRules, ButtonsSelectByRuleAndAskOnlyWithASelection) {
    MerkmalRow out = row("X_LOCATION", 0, 1, -1, 2, 1);
    MerkmalRow neg = row("X_LOCATION", 0, 1, -1, -2, -1);
    MerkmalRow crit = row("X_LOCATION", 0, 1, -1, 0.95);
    crit.Kritisch = true;
    MerkmalRow good = row("X_LOCATION", 0, 1, -1, 0);
    good.Markiert = true;
    good.Ausgabe = QStringLiteral("BEIDE");
    MerkmalRow stat = good;
    stat.Ausgabe = QStringLiteral("STATISTIK");
    const MerkmalTable t = tableOf({out, neg, crit, good, stat});

    int asked = 0;
    auto answer = [&](bool yes) {
        return [&asked, yes] {
            ++asked;
            return yes;
        };
    };

    Selection s(5, false);
    MarkAT(t, s, answer(true));
    EXPECT_EQ(asked, 0);                                        // nothing selected: no question
    EXPECT_EQ(s, (Selection{true, true, false, false, false})); // below the lower limit too

    MarkKritisch(t, s, answer(false)); // No: add to the selection
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(s, (Selection{true, true, true, false, false}));

    MarkOK(t, s, answer(true)); // Yes: clear first
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(s, (Selection{false, false, false, true, true}));

    s = {true, true, false, false, false};
    MarkMarked(t, s); // clears without asking, then marked and reported rows
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(s, (Selection{false, false, false, true, false}));

    MarkAll(s);
    EXPECT_EQ(s, Selection(5, true));
    MarkDelete(s);
    EXPECT_EQ(s, Selection(5, false));
}

TEST(OutputRule, WritersSkipStatisticsAndHiddenCommentsAndStripTheMarker) {
    struct Case {
        const char* ausgabe;
        const char* firstLine;
        bool taken;
        const char* lineAfter;
    };
    const Case cases[] = {
        {"PROTOKOLL", "Lager", true, "Lager"},
        {"BEIDE", "<< Lager", true, "Lager"},
        {"BEIDE", "<<#intern", false, "<<#intern"},
        {"STATISTIK", "<< Lager", false, "<< Lager"},
        {"KEINE", "", false, ""},
        {"", "", true, ""}, // an unknown mode is written
    };
    for (const Case& c : cases) {
        KommentarTable comments;
        comments.reset(1);
        comments.block(1).Zeile[1] = QString::fromUtf8(c.firstLine);
        MerkmalRow r;
        r.Ausgabe = QString::fromLatin1(c.ausgabe);
        r.KommentarIndex = 1;
        EXPECT_EQ(takeForOutput(r, comments), c.taken) << c.ausgabe << " " << c.firstLine;
        EXPECT_EQ(comments.block(1).Zeile[1], QString::fromUtf8(c.lineAfter));
    }
}

TEST(Klassifizierung, WarningLimitsForTheChart) {
    struct Case {
        const char* type;
        double nominal, oTol, uTol;
        std::optional<double> lower, upper;
    };
    const std::vector<Case> cases = {
        {"DIAMETER", 10, 0.1, -0.1, 9.91, 10.09},
        {"DIAMETER", 25, 0.021, 0, 25.00105, 25.01995},
        {"FLATNESS", 0, 0.05, 0, std::nullopt, 0.045},
        {"TRUE_X_LOCATION", 0, 0.1, -0.1, std::nullopt, std::nullopt},
        {"DIAMETER", 10, 0, 0, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const model::WarningLimits l =
            model::warningLimits(QString::fromLatin1(c.type), c.nominal, c.oTol, c.uTol, 90);
        ASSERT_EQ(l.lower.has_value(), c.lower.has_value()) << c.type;
        ASSERT_EQ(l.upper.has_value(), c.upper.has_value()) << c.type;
        if (c.lower) {
            EXPECT_NEAR(*l.lower, *c.lower, 1e-12) << c.type;
        }
        if (c.upper) {
            EXPECT_NEAR(*l.upper, *c.upper, 1e-12) << c.type;
        }
    }
}
