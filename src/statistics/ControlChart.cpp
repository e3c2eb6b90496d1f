#include "statistics/ControlChart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace statistics {

namespace {

// ASTM E2587 / AIAG: n, d2, d3, c4, A2, A3, D3, D4, B3, B4.
constexpr std::array<ChartConstants, 24> kConstants{{
    {2, 1.128, 0.853, 0.7979, 1.880, 2.659, 0.000, 3.267, 0.000, 3.267},
    {3, 1.693, 0.888, 0.8862, 1.023, 1.954, 0.000, 2.575, 0.000, 2.568},
    {4, 2.059, 0.880, 0.9213, 0.729, 1.628, 0.000, 2.282, 0.000, 2.266},
    {5, 2.326, 0.864, 0.9400, 0.577, 1.427, 0.000, 2.114, 0.000, 2.089},
    {6, 2.534, 0.848, 0.9515, 0.483, 1.287, 0.000, 2.004, 0.030, 1.970},
    {7, 2.704, 0.833, 0.9594, 0.419, 1.182, 0.076, 1.924, 0.118, 1.882},
    {8, 2.847, 0.820, 0.9650, 0.373, 1.099, 0.136, 1.864, 0.185, 1.815},
    {9, 2.970, 0.808, 0.9693, 0.337, 1.032, 0.184, 1.816, 0.239, 1.761},
    {10, 3.078, 0.797, 0.9727, 0.308, 0.975, 0.223, 1.777, 0.284, 1.716},
    {11, 3.173, 0.787, 0.9754, 0.285, 0.927, 0.256, 1.744, 0.321, 1.679},
    {12, 3.258, 0.778, 0.9776, 0.266, 0.886, 0.283, 1.717, 0.354, 1.646},
    {13, 3.336, 0.770, 0.9794, 0.249, 0.850, 0.307, 1.693, 0.382, 1.618},
    {14, 3.407, 0.763, 0.9810, 0.235, 0.817, 0.328, 1.672, 0.406, 1.594},
    {15, 3.472, 0.756, 0.9823, 0.223, 0.789, 0.347, 1.653, 0.428, 1.572},
    {16, 3.532, 0.750, 0.9835, 0.212, 0.763, 0.363, 1.637, 0.448, 1.552},
    {17, 3.588, 0.744, 0.9845, 0.203, 0.739, 0.378, 1.622, 0.466, 1.534},
    {18, 3.640, 0.739, 0.9854, 0.194, 0.718, 0.391, 1.609, 0.482, 1.518},
    {19, 3.689, 0.733, 0.9862, 0.187, 0.698, 0.404, 1.596, 0.497, 1.503},
    {20, 3.735, 0.729, 0.9869, 0.180, 0.680, 0.415, 1.585, 0.510, 1.490},
    {21, 3.778, 0.724, 0.9876, 0.173, 0.663, 0.425, 1.575, 0.523, 1.477},
    {22, 3.819, 0.720, 0.9882, 0.167, 0.647, 0.435, 1.565, 0.534, 1.466},
    {23, 3.858, 0.716, 0.9887, 0.162, 0.633, 0.443, 1.557, 0.545, 1.455},
    {24, 3.895, 0.712, 0.9892, 0.157, 0.619, 0.452, 1.548, 0.555, 1.445},
    {25, 3.931, 0.708, 0.9896, 0.153, 0.606, 0.459, 1.541, 0.565, 1.435},
}};

double mean(std::span<const double> v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

double sampleSd(std::span<const double> v) {
    const double m = mean(v);
    double ss = 0.0;
    for (double x : v)
        ss += (x - m) * (x - m);
    return std::sqrt(ss / static_cast<double>(v.size() - 1));
}

const char* ruleText(int rule) {
    switch (rule) {
    case 1:
        return "Rule 1: one point beyond the 3σ control limit";
    case 2:
        return "Rule 2: two of three consecutive points beyond 2σ on the same side";
    case 3:
        return "Rule 3: eight consecutive points on one side of the centre line";
    default:
        return "Rule 4: six consecutive points steadily rising or falling";
    }
}

} // namespace

std::optional<ChartConstants> chartConstants(int n) {
    if (n < 2 || n > 25)
        return std::nullopt;
    return kConstants[static_cast<size_t>(n - 2)];
}

double c4Exact(int n) {
    const double m = n;
    return std::sqrt(2.0 / (m - 1.0)) * std::exp(std::lgamma(m / 2.0) - std::lgamma((m - 1.0) / 2.0));
}

std::vector<RuleViolation> runRuleViolations(std::span<const double> points, double centre, double sigma) {
    std::vector<RuleViolation> out;
    if (!(sigma > 0.0) || !std::isfinite(sigma))
        return out;
    const auto side = [&](size_t i) { return points[i] > centre ? 1 : (points[i] < centre ? -1 : 0); };
    const auto beyond2 = [&](size_t i, int s) {
        return side(i) == s && std::fabs(points[i] - centre) > 2 * sigma;
    };
    const auto add = [&](size_t i, int rule) { out.push_back({static_cast<int>(i), rule, ruleText(rule)}); };
    for (size_t i = 0; i < points.size(); ++i) {
        if (std::fabs(points[i] - centre) > 3.0 * sigma)
            add(i, 1);
        if (i >= 2) {
            const int s = side(i);
            if (s != 0 && beyond2(i, s) && (beyond2(i - 1, s) || beyond2(i - 2, s)))
                add(i, 2);
        }
        if (i >= 7) {
            const int s = side(i);
            bool run = s != 0;
            for (size_t j = i - 7; run && j < i; ++j)
                run = side(j) == s;
            if (run)
                add(i, 3);
        }
        if (i >= 5) {
            bool rising = true;
            bool falling = true;
            for (size_t j = i - 5; j < i; ++j) {
                rising = rising && points[j + 1] > points[j];
                falling = falling && points[j + 1] < points[j];
            }
            if (rising || falling)
                add(i, 4);
        }
    }
    return out;
}

ControlChart controlChart(std::span<const double> values, ChartKind kind, int subgroupSize) {
    ControlChart chart;
    chart.kind = kind;
    std::vector<double> v;
    v.reserve(values.size());
    for (double x : values)
        if (std::isfinite(x))
            v.push_back(x);
    chart.skipped = static_cast<int>(values.size() - v.size());

    if (kind == ChartKind::IndividualsMovingRange) {
        chart.n = static_cast<int>(v.size());
        if (v.size() < 2) {
            chart.reason = v.empty() ? "no values" : "fewer than two values";
            return chart;
        }
        const ChartConstants k = kConstants[0];
        chart.location.points = v;
        for (size_t i = 1; i < v.size(); ++i)
            chart.dispersion.points.push_back(std::fabs(v[i] - v[i - 1]));
        const double mrBar = mean(chart.dispersion.points);
        chart.sigma = mrBar / k.d2;
        chart.location.centre = mean(v);
        chart.location.ucl = chart.location.centre + 3.0 * chart.sigma;
        chart.location.lcl = chart.location.centre - 3.0 * chart.sigma;
        chart.dispersion.centre = mrBar;
        chart.dispersion.ucl = k.D4 * mrBar;
        chart.dispersion.lcl = k.D3 * mrBar;
    } else {
        const std::optional<ChartConstants> k = chartConstants(subgroupSize);
        if (!k) {
            chart.reason = "subgroup size outside 2 to 25";
            return chart;
        }
        const size_t m = static_cast<size_t>(subgroupSize);
        const size_t groups = v.size() / m;
        chart.n = static_cast<int>(groups * m);
        chart.dropped = static_cast<int>(v.size() - groups * m);
        if (groups < 2) {
            chart.reason = "fewer than two subgroups";
            return chart;
        }
        for (size_t g = 0; g < groups; ++g) {
            const std::span<const double> sub(v.data() + g * m, m);
            chart.location.points.push_back(mean(sub));
            if (kind == ChartKind::MeanRange) {
                const auto [lo, hi] = std::minmax_element(sub.begin(), sub.end());
                chart.dispersion.points.push_back(*hi - *lo);
            } else {
                chart.dispersion.points.push_back(sampleSd(sub));
            }
        }
        const double grand = mean(chart.location.points);
        const double spread = mean(chart.dispersion.points);
        const bool range = kind == ChartKind::MeanRange;
        chart.sigma = spread / (range ? k->d2 : k->c4);
        chart.location.centre = grand;
        chart.location.ucl = grand + (range ? k->A2 : k->A3) * spread;
        chart.location.lcl = grand - (range ? k->A2 : k->A3) * spread;
        chart.dispersion.centre = spread;
        chart.dispersion.ucl = (range ? k->D4 : k->B4) * spread;
        chart.dispersion.lcl = (range ? k->D3 : k->B3) * spread;
    }
    chart.valid = true;
    chart.violations = runRuleViolations(chart.location.points, chart.location.centre,
                                         (chart.location.ucl - chart.location.centre) / 3.0);
    return chart;
}

} // namespace statistics
