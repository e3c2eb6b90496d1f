// The statistics layer: published worked examples, hand-worked edge cases, and scipy on seeded data.
#include "statistics/Capability.h"
#include "statistics/ControlChart.h"
#include "statistics/Distributions.h"
#include "statistics/GaugeStudy.h"
#include "statistics/Histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

using namespace statistics;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A figure as expected: a value within tol, or no value and exactly this reason.
struct Expect {
    std::optional<double> value;
    std::string reason;
};

void check(const Figure& f, const Expect& e, double tol, const std::string& what) {
    if (e.value) {
        ASSERT_TRUE(f.value.has_value()) << what << ": " << f.reason;
        EXPECT_NEAR(*f.value, *e.value, tol) << what;
    } else {
        EXPECT_FALSE(f.value.has_value()) << what << ": " << f.value.value_or(0.0);
        EXPECT_EQ(f.reason, e.reason) << what;
    }
}

enum class Part { Value, Lower95, Upper95 };

Figure part(const Figure& f, Part p) {
    Figure out = f;
    if (p != Part::Value)
        out.value = p == Part::Lower95 ? f.lower95 : f.upper95;
    return out;
}

std::vector<double> sequence(int from, int to) {
    std::vector<double> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

const std::vector<double> kFlowrate{49.6, 47.6, 49.9, 51.3, 47.8, 51.2, 52.6, 52.4, 53.6, 52.1};

} // namespace

TEST(Capability, FiguresAndReasons) {
    struct Row {
        const char* what;
        std::vector<double> values;
        Limits limits;
        Figure Capability::*figure;
        Expect expect;
        Part part = Part::Value;
        int m = 1;
        Within within = Within::Range;
    };
    using C = Capability;
    const Limits nist{8.0, 20.0};
    const Limits band{0.0, 6.0};
    const Limits upper{{}, 5.0};
    const Limits lower{-1.0, {}};
    const std::vector<double> nistValues{14, 16, 18}; // mean 16, s 2
    const std::vector<double> v{1, 2, 3};
    const std::vector<double> many = sequence(1, 52);
    const Row rows[] = {
        // NIST/SEMATECH e-Handbook 6.1.6: USL 20, LSL 8, mean 16, s 2.
        {"nist pp", nistValues, nist, &C::pp, {1.0, ""}},
        {"nist ppk", nistValues, nist, &C::ppk, {0.6667, ""}},
        {"nist ppu", nistValues, nist, &C::ppu, {0.6667, ""}},
        {"nist ppl", nistValues, nist, &C::ppl, {1.3333, ""}},
        // e-Handbook 6.3.2.2, individuals chart: MR-bar 1.8778, so sigma within 1.8778 / 1.128.
        {"flowrate", kFlowrate, nist, &C::sWithin, {1.66472, ""}},
        // Hand-worked: chi-square (2 df) bounds of Pp and Bissell's bounds of Ppk for the above.
        {"pp low", nistValues, nist, &C::pp, {0.159116, ""}, Part::Lower95},
        {"pp high", nistValues, nist, &C::pp, {1.920646, ""}, Part::Upper95},
        {"ppk low", nistValues, nist, &C::ppk, {-0.087724, ""}, Part::Lower95},
        {"ppk high", nistValues, nist, &C::ppk, {1.421057, ""}, Part::Upper95},
        {"one value mean", {5}, band, &C::mean, {5.0, ""}},
        {"one value", {5}, band, &C::pp, {{}, "fewer than two values"}},
        {"one value within", {5}, band, &C::cpk, {{}, "fewer than two values"}},
        {"one value bound", {5}, band, &C::pp, {{}, "fewer than two values"}, Part::Lower95},
        {"no values", {}, band, &C::mean, {{}, "no values"}},
        {"two equal", {5, 5}, band, &C::ppk, {{}, "no spread"}},
        {"two equal s", {0.1, 0.1}, band, &C::sOverall, {0.0, ""}},
        {"all equal", {3, 3, 3, 3}, band, &C::cpk, {{}, "no spread"}, Part::Value, 2},
        {"upper only ppk", v, upper, &C::ppk, {1.0, ""}},
        {"upper only cpk", v, upper, &C::cpk, {1.128, ""}},
        {"upper only pp", v, upper, &C::pp, {{}, "no lower limit"}},
        {"upper only ppl", v, upper, &C::ppl, {{}, "no lower limit"}},
        {"lower only ppk", v, lower, &C::ppk, {1.0, ""}},
        {"lower only cp", v, lower, &C::cp, {{}, "no upper limit"}},
        {"no limits", v, {}, &C::ppk, {{}, "no limits"}},
        {"inverted", v, {6.0, 0.0}, &C::pp, {{}, "lower limit not below upper limit"}},
        {"mean above", {11, 12, 13}, {0.0, 10.0}, &C::ppk, {-2.0 / 3.0, ""}},
        {"mean above pp", {11, 12, 13}, {0.0, 10.0}, &C::pp, {10.0 / 6.0, ""}},
        {"non-finite", {1, kNaN, 2, kInf, 3, -kInf}, band, &C::pp, {1.0, ""}},
        {"non-finite limit", v, {kNaN, 5.0}, &C::ppk, {1.0, ""}},
        {"incomplete mean", {1, 3, 2, 4, 9}, band, &C::mean, {2.5, ""}, Part::Value, 2},
        {"range within", {1, 3, 2, 4, 9}, band, &C::sWithin, {2.0 / 1.128, ""}, Part::Value, 2},
        {"s within", {1, 3, 2, 4}, band, &C::sWithin, {1.772420, ""}, Part::Value, 2, Within::StdDev},
        {"one subgroup", {1, 3}, band, &C::cp, {{}, "fewer than two subgroups"}, Part::Value, 2},
        {"no subgroup", {1, 3}, band, &C::ppk, {{}, "no complete subgroup"}, Part::Value, 5},
        {"range over 25",
         many,
         band,
         &C::cp,
         {{}, "range method needs subgroups of 2 to 25"},
         Part::Value,
         26},
    };
    for (const Row& r : rows) {
        const Capability c = capability(r.values, r.limits, r.m, r.within);
        check(part(c.*r.figure, r.part), r.expect, 5e-5, r.what);
    }
    const double mixed[] = {1, kNaN, 3, 2, 4, 9};
    const Capability c = capability(mixed, band, 2);
    EXPECT_EQ(std::tuple(c.n, c.skipped, c.dropped, c.subgroups), std::tuple(4, 1, 1, 2));
}

TEST(Capability, PercentileMethodAndNormality) {
    struct Row {
        const char* what;
        std::vector<double> values;
        Limits limits;
        Figure PercentileFigures::*figure;
        Expect expect;
    };
    using P = PercentileFigures;
    const std::vector<double> v = sequence(1, 11); // type 7: X0.135 = 1.0135, X99.865 = 10.9865
    const Row rows[] = {
        {"low", v, {0.0, 11.0}, &P::x00135, {1.0135, ""}},
        {"median", v, {0.0, 11.0}, &P::x50, {6.0, ""}},
        {"high", v, {0.0, 11.0}, &P::x99865, {10.9865, ""}},
        {"pp", v, {0.0, 11.0}, &P::pp, {1.102978, ""}},
        {"ppk", v, {0.0, 11.0}, &P::ppk, {1.002707, ""}},
        {"upper only", v, {{}, 11.0}, &P::ppk, {1.002707, ""}},
        {"upper only pp", v, {{}, 11.0}, &P::pp, {{}, "no lower limit"}},
        {"equal", {2, 2, 2}, {0.0, 4.0}, &P::pp, {{}, "no spread"}},
        {"one value", {2}, {0.0, 4.0}, &P::ppk, {{}, "fewer than two values"}},
    };
    for (const Row& r : rows)
        check(capability(r.values, r.limits).percentile.*r.figure, r.expect, 5e-6, r.what);

    const Normality seven = capability(sequence(1, 7), {0.0, 8.0}).normality;
    EXPECT_EQ(seven.reason, "fewer than eight values");
    EXPECT_FALSE(seven.pValue || seven.normal);
    const Normality eight = capability(sequence(1, 8), {0.0, 9.0}).normality;
    EXPECT_TRUE(eight.a2Adjusted && eight.pValue && eight.normal) << eight.reason;
}

// D'Agostino & Stephens (1986), table 4.7: critical values of A²* for the normal distribution
// with both parameters estimated, at the upper tail probabilities 0.10, 0.05, 0.025 and 0.01.
TEST(Capability, AndersonDarlingPValueAtPublishedCriticalValues) {
    const std::pair<double, double> rows[] = {{0.631, 0.10}, {0.752, 0.05}, {0.873, 0.025},
                                              {1.035, 0.01}, {0.0, 1.0},    {500.0, 0.0}};
    for (const auto& [a2, p] : rows)
        EXPECT_NEAR(andersonDarlingPValue(a2), p, 0.02 * p + 1e-5) << a2;
}

// AIAG SPC manual / ASTM E2587 constants table, printed to three decimals (c4 to four); the
// printings differ by one in the last place for a few entries.
TEST(ControlChart, ConstantsMatchThePublishedTable) {
    const ChartConstants rows[] = {
        {2, 1.128, 0.853, 0.7979, 1.880, 2.659, 0.000, 3.267, 0.000, 3.267},
        {5, 2.326, 0.864, 0.9400, 0.577, 1.427, 0.000, 2.115, 0.000, 2.089},
        {7, 2.704, 0.833, 0.9594, 0.419, 1.182, 0.076, 1.924, 0.118, 1.882},
        {10, 3.078, 0.797, 0.9727, 0.308, 0.975, 0.223, 1.777, 0.284, 1.716},
        {25, 3.931, 0.708, 0.9896, 0.153, 0.606, 0.459, 1.541, 0.565, 1.435},
    };
    for (const ChartConstants& e : rows) {
        const std::optional<ChartConstants> k = chartConstants(e.n);
        ASSERT_TRUE(k) << e.n;
        const double got[] = {k->d2, k->d3, k->c4, k->A2, k->A3, k->D3, k->D4, k->B3, k->B4};
        const double want[] = {e.d2, e.d3, e.c4, e.A2, e.A3, e.D3, e.D4, e.B3, e.B4};
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(got[i], want[i], 0.0011) << "n " << e.n << " column " << i;
    }
    for (int n = 2; n <= 25; ++n)
        EXPECT_NEAR(chartConstants(n)->c4, c4Exact(n), 5.1e-5) << n;
    EXPECT_FALSE(chartConstants(1) || chartConstants(26));
}

TEST(ControlChart, LimitsAndReasons) {
    struct Row {
        const char* what;
        ChartKind kind;
        int m;
        std::vector<double> values;
        std::vector<double> expect; // centre, UCL, LCL, dispersion centre, UCL, LCL, sigma
        std::string reason = {};
    };
    using K = ChartKind;
    const std::vector<double> small{1, 3, 2, 2, 4, 6, 7}; // the 7 makes an incomplete subgroup
    const std::vector<double> flow{50.81, 55.8041, 45.8159, 1.8778, 6.1347, 0, 1.6647};
    const Row rows[] = {
        // e-Handbook 6.3.2.2, flow rate of the first ten batches.
        {"nist", K::IndividualsMovingRange, 1, kFlowrate, flow},
        {"x-r", K::MeanRange, 2, small, {3, 5.506667, 0.493333, 4.0 / 3, 4.356, 0, 1.182033}},
        {"x-s", K::MeanStdDev, 2, small, {3, 5.506929, 0.493071, 0.942809, 3.080157, 0, 1.181613}},
        {"equal", K::IndividualsMovingRange, 1, {2, 2, kNaN, 2}, {2, 2, 2, 0, 0, 0, 0}},
        {"empty", K::IndividualsMovingRange, 1, {kNaN}, {}, "no values"},
        {"one value", K::IndividualsMovingRange, 1, {1}, {}, "fewer than two values"},
        {"one subgroup", K::MeanRange, 5, sequence(1, 9), {}, "fewer than two subgroups"},
        {"too large", K::MeanStdDev, 26, sequence(1, 60), {}, "subgroup size outside 2 to 25"},
    };
    for (const Row& r : rows) {
        const ControlChart c = controlChart(r.values, r.kind, r.m);
        EXPECT_EQ(c.valid, r.reason.empty()) << r.what;
        EXPECT_EQ(c.reason, r.reason) << r.what;
        if (!c.valid)
            continue;
        const double got[] = {c.location.centre, c.location.ucl,   c.location.lcl, c.dispersion.centre,
                              c.dispersion.ucl,  c.dispersion.lcl, c.sigma};
        for (size_t i = 0; i < r.expect.size(); ++i)
            EXPECT_NEAR(got[i], r.expect[i], 1e-4) << r.what << " column " << i;
        EXPECT_TRUE(c.violations.empty()) << r.what;
    }
    // The rules run on the location chart with its own limits: the jump is beyond 3 sigma.
    const ControlChart spike = controlChart(std::vector<double>{0, 0.1, -0.1, 0, 0.1, -0.1, 0, 5});
    ASSERT_EQ(spike.violations.size(), 1u);
    EXPECT_EQ(std::pair(spike.violations[0].index, spike.violations[0].rule), std::pair(7, 1));
    EXPECT_EQ(spike.violations[0].text, "Rule 1: one point beyond the 3σ control limit");
}

// Centre 0, sigma 1; each sequence trips exactly one rule, at the point that completes it.
TEST(ControlChart, RunRules) {
    struct Row {
        const char* what;
        std::vector<double> points;
        std::vector<std::pair<int, int>> expect; // index, rule
    };
    const Row rows[] = {
        {"none", {0.5, -0.5, 1, -1, 0.2, -0.3, 0.1, -0.1, 2.5, -2.5}, {}},
        {"beyond 3", {0.5, -0.5, -3.5, -0.5, 0.5}, {{2, 1}}},
        {"two of three", {0.5, 2.5, -0.5, 2.2, 0.1}, {{3, 2}}},
        {"two of three, other sides", {0.5, 2.5, -2.5, 0.1, -2.1, 0.3}, {{4, 2}}},
        {"eight on one side", {1, 1.2, 0.5, 0.8, 0.3, 0.9, 0.4, 0.6, -0.5}, {{7, 3}}},
        {"seven and one on the line", {1, 1.2, 0.5, 0.8, 0, 0.9, 0.4, 0.6, 0.7}, {}},
        {"six rising", {-0.5, 0.2, -0.1, 0.0, 0.1, 0.3, 0.5, 0.7, -0.6}, {{7, 4}}},
        {"six falling", {0.6, 0.4, 0.2, 0.0, -0.2, -0.4, 0.3}, {{5, 4}}},
        {"a tie breaks the trend", {0.6, 0.4, 0.2, 0.2, -0.2, -0.4, -0.6}, {}},
    };
    for (const Row& r : rows) {
        std::vector<std::pair<int, int>> got;
        for (const RuleViolation& v : runRuleViolations(r.points, 0.0, 1.0))
            got.emplace_back(v.index, v.rule);
        EXPECT_EQ(got, r.expect) << r.what;
    }
    EXPECT_TRUE(runRuleViolations(std::vector<double>{1, 5}, 0.0, 0.0).empty());
}

TEST(Histogram, BinsCountsAndCurve) {
    struct Row {
        const char* what;
        std::vector<double> values;
        Limits limits;
        std::vector<double> ends; // first and last edge
        std::vector<int> counts;
        bool curve;
    };
    std::vector<double> withNaN = sequence(1, 8);
    withNaN.push_back(kNaN);
    const Row rows[] = {
        {"sturges, five at least", sequence(1, 8), {}, {1, 8}, {2, 1, 2, 1, 2}, true},
        {"non-finite skipped", withNaN, {}, {1, 8}, {2, 1, 2, 1, 2}, true},
        {"limits widen", sequence(1, 8), {0.0, 10.0}, {0, 10}, {1, 1, 1, 1, 2, 1, 1, 0}, true},
        {"sturges", sequence(1, 100), {}, {1, 100}, {13, 12, 13, 12, 12, 13, 12, 13}, true},
        {"empty", {}, {}, {-0.5, 0.5}, {0}, false},
        {"all equal", {2, 2, 2}, {}, {1.998, 2.002}, {3}, false},
        {"all equal in limits", {2, 2, 2}, {0.0, 4.0}, {0, 4}, {3}, false},
    };
    for (const Row& r : rows) {
        const Histogram h = histogram(r.values, r.limits);
        ASSERT_EQ(h.edges.size(), h.counts.size() + 1) << r.what;
        EXPECT_NEAR(h.edges.front(), r.ends[0], 1e-12) << r.what;
        EXPECT_NEAR(h.edges.back(), r.ends[1], 1e-12) << r.what;
        EXPECT_EQ(h.counts, r.counts) << r.what;
        EXPECT_EQ(!h.curve.empty(), r.curve) << r.what;
        if (h.curve.empty())
            continue;
        // The curve runs down to the axis on both sides, past the bins where it must.
        double peak = 0.0;
        for (const CurvePoint& c : h.curve)
            peak = std::max(peak, c.y);
        EXPECT_LT(h.curve.front().y, peak / 1000) << r.what;
        EXPECT_LT(h.curve.back().y, peak / 1000) << r.what;
        EXPECT_LE(h.curve.front().x, h.edges.front()) << r.what;
        EXPECT_GE(h.curve.back().x, h.edges.back()) << r.what;
    }
    // The curve is the density scaled to counts: its area over the bins is n x bin width.
    std::mt19937 gen(7);
    std::normal_distribution<double> normal(10.0, 0.5);
    std::vector<double> v(1000);
    for (double& x : v)
        x = normal(gen);
    const Histogram h = histogram(v, {5.0, 15.0});
    double area = 0.0;
    for (size_t i = 1; i < h.curve.size(); ++i)
        area += 0.5 * (h.curve[i].y + h.curve[i - 1].y) * (h.curve[i].x - h.curve[i - 1].x);
    EXPECT_NEAR(area / (h.edges[1] - h.edges[0]), 1000.0, 1.0);
}

TEST(GaugeStudy, FiguresVerdictsAndReasons) {
    struct Row {
        const char* what;
        std::vector<double> values;
        double reference;
        double tolerance;
        Figure GaugeStudy::*figure;
        Expect expect;
    };
    using G = GaugeStudy;
    const std::vector<double> wide{9.99, 10.01, 10.00, 10.02, 9.98}; // mean 10, s 0.0158114
    const std::vector<double> off{10.010, 10.012, 10.011, 10.009, 10.013};
    const Row rows[] = {
        {"cg", wide, 10.005, 0.2, &G::cg, {0.421637, ""}},
        {"cgk", wide, 10.005, 0.2, &G::cgk, {0.316228, ""}},
        {"bias", wide, 10.005, 0.2, &G::bias, {-0.005, ""}},
        {"t", wide, 10.005, 0.2, &G::t, {-0.707107, ""}},
        {"p", wide, 10.005, 0.2, &G::pValue, {0.518519, ""}},
        {"%rep", wide, 10.005, 0.2, &G::percentRepeatability, {47.434165, ""}},
        {"%bias", wide, 10.005, 0.2, &G::percentBias, {2.5, ""}},
        {"off p", off, 10.0, 0.2, &G::pValue, {9.968969e-05, ""}},
        {"off cgk", off, 10.0, 0.2, &G::cgk, {1.897367, ""}},
        {"one value", {10}, 10.0, 0.2, &G::cg, {{}, "fewer than two values"}},
        {"one value mean", {10}, 10.0, 0.2, &G::mean, {10.0, ""}},
        {"equal", {10, 10, 10}, 10.0, 0.2, &G::cgk, {{}, "no spread"}},
        {"equal t", {10, 10, 10}, 10.0, 0.2, &G::t, {{}, "no spread"}},
        {"equal %rep", {10, 10, 10}, 10.0, 0.2, &G::percentRepeatability, {0.0, ""}},
        {"no tolerance", wide, 10.0, 0.0, &G::cg, {{}, "tolerance not positive"}},
        {"no reference", wide, kNaN, 0.2, &G::cgk, {{}, "no reference value"}},
        {"no reference cg", wide, kNaN, 0.2, &G::cg, {0.421637, ""}},
    };
    for (const Row& r : rows)
        check(gaugeStudy(r.values, r.reference, r.tolerance).*r.figure, r.expect,
              5e-6 * std::fabs(r.expect.value.value_or(0.0)) + 1e-9, r.what);

    struct Verdict {
        std::vector<double> values;
        double reference;
        std::optional<bool> capable, significant;
    };
    const Verdict verdicts[] = {
        {wide, 10.005, false, false},
        {{10.000, 10.001, 9.999, 10.000, 10.001, 9.999, 10.000}, 10.0, true, false},
        {off, 10.0, true, true},
        {{10, 10, 10}, 10.0, {}, {}},
    };
    for (const Verdict& v : verdicts) {
        const GaugeStudy g = gaugeStudy(v.values, v.reference, 0.2);
        EXPECT_EQ(g.capable, v.capable) << v.values.front();
        EXPECT_EQ(g.biasSignificant, v.significant) << v.values.front();
    }
    EXPECT_EQ(gaugeStudy(off, 10.0, 0.2, {.minimumIndex = 2.0}).capable, false);
}

// scipy.stats (python3-scipy) on seeded data of several distributions: the distribution
// functions to 1e-9 relative, the Anderson-Darling A² (unadjusted) to 1e-9.
TEST(Distributions, AgreeWithScipy) {
#ifdef _WIN32
    GTEST_SKIP() << "scipy is a Linux program; the Linux build checks the same code";
#endif
    struct Question {
        std::string name;
        std::vector<double> args;
        double ours;
    };
    std::vector<Question> qs;
    std::mt19937_64 gen(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double dfs[] = {0.5, 1, 2.5, 3, 10, 30, 120, 1000};
    for (int i = 0; i < 40; ++i) {
        const double x = i < 30 ? 4.0 * normal(gen) : -10.0 - 27.0 * unit(gen); // tails down to 1e-300
        const double p = i < 30 ? unit(gen) : std::pow(10.0, -1.0 - 250.0 * unit(gen));
        const double df = dfs[i % 8];
        const double q = i % 2 ? p : 1.0 - std::max(p, 1e-15);
        const double chi = df * std::exp(0.8 * normal(gen));
        const double t = i < 30 ? 3.0 * normal(gen) : std::tan(3.14159 * (unit(gen) - 0.5));
        const double tp = std::max(p, 1e-12);
        qs.push_back({"norm_cdf", {x}, normalCdf(x)});
        qs.push_back({"norm_ppf", {q}, normalQuantile(q)});
        qs.push_back({"t_cdf", {t, df}, studentTCdf(t, df)});
        qs.push_back({"t_ppf", {tp, df}, studentTQuantile(tp, df)});
        qs.push_back({"chi2_cdf", {chi, df}, chiSquareCdf(chi, df)});
        qs.push_back({"chi2_ppf", {std::max(q, 1e-12), df}, chiSquareQuantile(std::max(q, 1e-12), df)});
    }
    std::exponential_distribution<double> exponential(2.0);
    std::lognormal_distribution<double> lognormal(1.0, 0.5);
    std::student_t_distribution<double> heavy(3.0);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int set = 0; set < 5; ++set) {
        const int n = (set + 1) * 60;
        std::vector<double> v(static_cast<size_t>(n));
        for (double& x : v)
            x = set == 0   ? 25.0 + 0.01 * normal(gen)
                : set == 1 ? uniform(gen)
                : set == 2 ? exponential(gen)
                : set == 3 ? lognormal(gen)
                           : heavy(gen);
        qs.push_back({"ad", v, *capability(v, {}).normality.a2.value});
    }

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("statistics_scipy_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(file);
        char buf[32];
        for (const Question& q : qs) {
            out << q.name;
            for (double a : q.args)
                out << ' ' << std::string_view(buf, std::to_chars(buf, buf + sizeof buf, a).ptr - buf);
            out << '\n';
        }
    }
    const std::string command = std::string("/usr/bin/python3 '") + DOZIDUVOV_SOURCE_DIR +
                                "/tests/statistics/scipy_reference.py' '" + file.string() + "' 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << command;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, got);
    const int status = ::pclose(pipe);
    std::filesystem::remove(file);
    ASSERT_EQ(status, 0) << "python3 with scipy is needed (scripts/setup installs python3-scipy):\n"
                         << output;

    std::istringstream lines(output);
    std::string line;
    for (const Question& q : qs) {
        ASSERT_TRUE(std::getline(lines, line)) << "scipy gave fewer answers than questions";
        double want = kNaN;
        std::from_chars(line.data(), line.data() + line.size(), want);
        // Relative, but quantiles near 0 (p near 0.5) and A² on an absolute floor.
        const bool quantile = q.name.ends_with("ppf");
        const double tol = 1e-9 * std::fabs(want) + (q.name == "ad" ? 1e-9 : quantile ? 1e-14 : 1e-300);
        EXPECT_NEAR(q.ours, want, tol) << q.name << ' ' << q.args.front() << ' ' << q.args.back();
    }
}
