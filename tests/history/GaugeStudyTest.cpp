// Choosing the reference part's measurements from a series, and the defaults a type 1 gauge study
// takes from the newest chosen part.
#include "history/HistoryGauge.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using history::GaugeChoice;
using history::GaugeProblem;
using Kind = GaugeChoice::Kind;

// Ten parts; part i has nominal 10 + i/10 and upper tolerance (i + 1)/100, so a default names
// the part it came from. Part 7 has no value; even parts are "Referenz 1", odd "Referenz 2",
// part 7 alone "Referenz 3".
history::Series tenParts() {
    history::Series s;
    for (int i = 0; i < 10; ++i) {
        history::SeriesPoint p;
        p.partUuid = QStringLiteral("u%1").arg(i);
        p.measuredUtc = QDateTime(QDate(2026, 3, 2), QTime(8, i), Qt::UTC);
        p.measured = i == 7 ? std::nan("") : 10.0 + i * 0.001;
        p.nominal = 10.0 + i / 10.0;
        p.upperTol = (i + 1) / 100.0;
        p.lowerTol = -0.01;
        p.type = QStringLiteral("DIAMETER");
        const QString ref =
            i == 7 ? QStringLiteral("Referenz 3") : QStringLiteral("Referenz %1").arg(i % 2 == 0 ? 1 : 2);
        p.header = {{QStringLiteral(" Auftrag"), QStringLiteral("A-%1").arg(i / 5)},
                    {QStringLiteral(" Teil"), QStringLiteral(" ") + ref}};
        s.push_back(p);
    }
    return s;
}

GaugeChoice choice(Kind kind, int a = 0, int b = 0, const char* name = "", const char* value = "") {
    GaugeChoice c;
    c.kind = kind;
    c.lastParts = a;
    c.first = a;
    c.last = b;
    c.headerName = QString::fromUtf8(name);
    c.headerValue = QString::fromUtf8(value);
    return c;
}

} // namespace

TEST(GaugeChoice, PartsDefaultsAndWhyNoneWereChosen) {
    struct Case {
        const char* name;
        GaugeChoice choice;
        std::vector<std::size_t> parts;
        int withoutValue;
        GaugeProblem problem;
    };
    const std::vector<Case> cases = {
        {"last 4 values, the part without one passed over",
         choice(Kind::LastParts, 4),
         {5, 6, 8, 9},
         1,
         GaugeProblem::None},
        {"more parts asked for than stored",
         choice(Kind::LastParts, 50),
         {0, 1, 2, 3, 4, 5, 6, 8, 9},
         1,
         GaugeProblem::None},
        {"no parts asked for", choice(Kind::LastParts, 0), {}, 0, GaugeProblem::EmptyRange},
        {"a run of consecutive parts", choice(Kind::Range, 2, 4), {2, 3, 4}, 0, GaugeProblem::None},
        {"a run beyond the series is clipped",
         choice(Kind::Range, -3, 99),
         {0, 1, 2, 3, 4, 5, 6, 8, 9},
         1,
         GaugeProblem::None},
        {"a reversed run", choice(Kind::Range, 5, 2), {}, 0, GaugeProblem::EmptyRange},
        {"header value, blanks ignored",
         choice(Kind::HeaderValue, 0, 0, "Teil ", " Referenz 2"),
         {1, 3, 5, 9},
         0,
         GaugeProblem::None},
        {"a value no part has",
         choice(Kind::HeaderValue, 0, 0, "Teil", "Referenz 9"),
         {},
         0,
         GaugeProblem::NoMatch},
        {"the value of a name another name has",
         choice(Kind::HeaderValue, 0, 0, "Auftrag", "Referenz 1"),
         {},
         0,
         GaugeProblem::NoMatch},
        {"only parts without a value",
         choice(Kind::HeaderValue, 0, 0, "Teil", "Referenz 3"),
         {},
         1,
         GaugeProblem::NoValues},
    };
    const history::Series series = tenParts();
    for (const Case& c : cases) {
        const history::GaugeSelection s = history::chooseGaugeParts(series, c.choice);
        std::vector<std::size_t> got;
        for (const history::GaugePart& p : s.parts) {
            got.push_back(p.index);
            EXPECT_EQ(p.partUuid, series[p.index].partUuid) << c.name;
            EXPECT_EQ(p.measured, series[p.index].measured) << c.name;
        }
        EXPECT_EQ(got, c.parts) << c.name;
        EXPECT_EQ(s.values.size(), got.size()) << c.name;
        EXPECT_EQ(s.withoutValue, c.withoutValue) << c.name;
        EXPECT_EQ(s.problem, c.problem) << c.name;
        if (got.empty()) {
            EXPECT_FALSE(s.reference || s.tolerance || s.firstUtc().isValid()) << c.name;
            continue;
        }
        // The defaults come from the newest chosen part, not the newest stored one.
        const std::size_t newest = got.back();
        EXPECT_DOUBLE_EQ(*s.reference, 10.0 + newest / 10.0) << c.name;
        EXPECT_DOUBLE_EQ(*s.tolerance, (newest + 1) / 100.0 + 0.01) << c.name;
        EXPECT_EQ(s.firstUtc(), series[got.front()].measuredUtc) << c.name;
        EXPECT_EQ(s.lastUtc(), series[newest].measuredUtc) << c.name;
    }
    EXPECT_EQ(history::chooseGaugeParts({}, choice(Kind::LastParts, 25)).problem, GaugeProblem::NoParts);
    EXPECT_EQ(history::gaugeHeaderNames(series),
              QStringList({QStringLiteral("Auftrag"), QStringLiteral("Teil")}));
    EXPECT_EQ(history::gaugeHeaderValues(series, QStringLiteral("Teil")),
              QStringList({QStringLiteral("Referenz 1"), QStringLiteral("Referenz 2"),
                           QStringLiteral("Referenz 3")}));
}

TEST(GaugeChoice, ToleranceOfTwoAndOneSidedCharacteristics) {
    struct Case {
        const char* type;
        double nominal, upper, lower;
        std::optional<double> tolerance;
    };
    const std::vector<Case> cases = {
        {"DIAMETER", 25.0, 0.021, -0.01, 0.031},
        {"DISTANCE", 40.0, 0.0, -0.05, 0.05}, // a limit on the nominal value
        {"FLATNESS", 0.0, 0.05, 0.0, 0.05},   // from the natural limit 0 to the upper limit
        {"RUNOUT", 0.01, 0.04, -0.01, 0.05},  // the stored lower tolerance is no limit
        {"DIAMETER", 25.0, std::nan(""), -0.01, std::nullopt},
    };
    for (const Case& c : cases) {
        history::SeriesPoint p;
        p.type = QString::fromLatin1(c.type);
        p.nominal = c.nominal;
        p.upperTol = c.upper;
        p.lowerTol = c.lower;
        const auto t = history::gaugeTolerance(p);
        ASSERT_EQ(t.has_value(), c.tolerance.has_value()) << c.type;
        if (t) {
            EXPECT_NEAR(*t, *c.tolerance, 1e-12) << c.type;
        }
    }
}

TEST(GaugeChoice, TypedValuesReplaceTheDefaultsAndUnknownOnesLeaveFiguresUndefined) {
    history::GaugeInput in;
    in.choice = choice(Kind::Range, 0, 2);
    const history::Series series = tenParts();
    history::GaugeResult r = history::gaugeStudyOf(series, in);
    EXPECT_DOUBLE_EQ(r.reference, 10.2);
    EXPECT_DOUBLE_EQ(r.tolerance, 0.04);
    EXPECT_EQ(r.study.n, 3);
    in.reference = 10.001;
    in.tolerance = 0.06;
    r = history::gaugeStudyOf(series, in);
    // Values 10, 10.001, 10.002: s = 0.001, Cg = 0.2 * 0.06 / 0.006.
    EXPECT_NEAR(*r.study.cg.value, 2.0, 1e-9);
    EXPECT_NEAR(*r.study.bias.value, 0.0, 1e-12);
    in.choice = choice(Kind::HeaderValue, 0, 0, "Teil", "Referenz 9");
    in.reference.reset();
    r = history::gaugeStudyOf(series, in);
    EXPECT_TRUE(std::isnan(r.reference));
    EXPECT_FALSE(r.study.cg);
    EXPECT_EQ(r.study.cg.reason, "no values");
}
