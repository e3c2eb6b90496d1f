#include "statistics/Capability.h"

#include "statistics/ControlChart.h"
#include "statistics/Distributions.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace statistics {

Figure Figure::of(double v) {
    Figure f;
    if (std::isfinite(v))
        f.value = v;
    else
        f.reason = "not a finite number";
    return f;
}

Figure Figure::none(std::string reason) {
    Figure f;
    f.reason = std::move(reason);
    return f;
}

namespace {

// Correlation of two neighbouring moving ranges of independent normal values.
constexpr double kMovingRangeCorrelation = 0.224;
constexpr double kConfidence = 0.95;

double sampleSd(std::span<const double> v, double mean) {
    double ss = 0.0;
    for (double x : v)
        ss += (x - mean) * (x - mean);
    return std::sqrt(ss / static_cast<double>(v.size() - 1));
}

// The within sigma and the effective degrees of freedom of its estimate, or a reason.
struct WithinEstimate {
    double sigma = 0.0;
    double df = 0.0;
    std::string reason;
};

WithinEstimate estimateWithin(std::span<const double> v, int m, Within within) {
    WithinEstimate w;
    const size_t n = v.size();
    if (m == 1) {
        if (n < 2) {
            w.reason = n == 0 ? "no values" : "fewer than two values";
            return w;
        }
        const ChartConstants k = *chartConstants(2);
        double sum = 0.0;
        for (size_t i = 1; i < n; ++i)
            sum += std::fabs(v[i] - v[i - 1]);
        const double ranges = static_cast<double>(n - 1);
        w.sigma = sum / ranges / k.d2;
        const double cv2 = k.d3 * k.d3 / (k.d2 * k.d2) *
                           (ranges + 2.0 * (ranges - 1.0) * kMovingRangeCorrelation) / (ranges * ranges);
        w.df = 1.0 / (2.0 * cv2);
        return w;
    }
    const size_t groups = n / static_cast<size_t>(m);
    if (groups < 2) {
        w.reason = "fewer than two subgroups";
        return w;
    }
    double sum = 0.0;
    for (size_t g = 0; g < groups; ++g) {
        const std::span<const double> sub = v.subspan(g * m, m);
        if (within == Within::Range) {
            const auto [lo, hi] = std::minmax_element(sub.begin(), sub.end());
            sum += *hi - *lo;
        } else {
            sum += sampleSd(sub, std::accumulate(sub.begin(), sub.end(), 0.0) / m);
        }
    }
    const double k = static_cast<double>(groups);
    if (within == Within::Range) {
        const std::optional<ChartConstants> c = chartConstants(m);
        if (!c) {
            w.reason = "range method needs subgroups of 2 to 25";
            return w;
        }
        w.sigma = sum / k / c->d2;
        w.df = 1.0 / (2.0 * c->d3 * c->d3 / (k * c->d2 * c->d2));
    } else {
        const double c4 = m <= 25 ? chartConstants(m)->c4 : c4Exact(m);
        w.sigma = sum / k / c4;
        w.df = 1.0 / (2.0 * (1.0 - c4 * c4) / (k * c4 * c4));
    }
    return w;
}

// The indices of one spread (overall or within) with their bounds.
struct IndexSet {
    Figure p, pk, pu, pl;
};

IndexSet indices(double mean, const Figure& sigma, double df, int n, const Limits& limits,
                 const std::string& limitProblem) {
    IndexSet s;
    if (!limitProblem.empty()) {
        s.p = s.pk = s.pu = s.pl = Figure::none(limitProblem);
        return s;
    }
    if (!sigma) {
        s.p = s.pk = s.pu = s.pl = Figure::none(sigma.reason);
        return s;
    }
    if (!(*sigma.value > 0.0)) {
        s.p = s.pk = s.pu = s.pl = Figure::none("no spread");
        return s;
    }
    const double sd = *sigma.value;
    const double z = normalQuantile(0.5 + kConfidence / 2.0);
    const auto bissell = [&](Figure& f) {
        if (!f)
            return;
        const double c = *f.value;
        const double half = z * std::sqrt(1.0 / (9.0 * n) + c * c / (2.0 * df));
        if (std::isfinite(half)) {
            f.lower95 = c - half;
            f.upper95 = c + half;
        }
    };
    s.pu = limits.upper ? Figure::of((*limits.upper - mean) / (3.0 * sd)) : Figure::none("no upper limit");
    s.pl = limits.lower ? Figure::of((mean - *limits.lower) / (3.0 * sd)) : Figure::none("no lower limit");
    if (s.pu && s.pl)
        s.pk = Figure::of(std::min(*s.pu.value, *s.pl.value));
    else
        s.pk = s.pu ? s.pu : s.pl;
    s.pk.lower95 = s.pk.upper95 = std::nullopt;
    if (limits.lower && limits.upper) {
        s.p = Figure::of((*limits.upper - *limits.lower) / (6.0 * sd));
        if (s.p) {
            const double lo = std::sqrt(chiSquareQuantile((1.0 - kConfidence) / 2.0, df) / df);
            const double hi = std::sqrt(chiSquareQuantile((1.0 + kConfidence) / 2.0, df) / df);
            if (std::isfinite(lo) && std::isfinite(hi)) {
                s.p.lower95 = *s.p.value * lo;
                s.p.upper95 = *s.p.value * hi;
            }
        }
    } else {
        s.p = Figure::none(limits.lower ? "no upper limit" : "no lower limit");
    }
    bissell(s.pk);
    bissell(s.pu);
    bissell(s.pl);
    return s;
}

Normality normality(std::span<const double> sorted, double mean, double sd) {
    Normality r;
    const size_t n = sorted.size();
    if (n < 8) {
        r.reason = "fewer than eight values";
    } else if (!(sd > 0.0)) {
        r.reason = "no spread";
    }
    if (!r.reason.empty()) {
        r.a2 = r.a2Adjusted = r.pValue = Figure::none(r.reason);
        return r;
    }
    const double nn = static_cast<double>(n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double lowTail = logNormalCdf((sorted[i] - mean) / sd);
        const double highTail = logNormalCdf(-(sorted[n - 1 - i] - mean) / sd);
        sum += (2.0 * static_cast<double>(i) + 1.0) * (lowTail + highTail);
    }
    const double a2 = -nn - sum / nn;
    const double adjusted = a2 * (1.0 + 0.75 / nn + 2.25 / (nn * nn));
    r.a2 = Figure::of(a2);
    r.a2Adjusted = Figure::of(adjusted);
    r.pValue = Figure::of(andersonDarlingPValue(adjusted));
    if (r.pValue)
        r.normal = *r.pValue.value >= 0.05;
    return r;
}

PercentileFigures percentileFigures(std::span<const double> sorted, const Limits& limits,
                                    const std::string& limitProblem) {
    PercentileFigures f;
    if (sorted.size() < 2) {
        const std::string reason = sorted.empty() ? "no values" : "fewer than two values";
        f.x00135 = f.x50 = f.x99865 = f.pp = f.ppk = f.ppu = f.ppl = Figure::none(reason);
        return f;
    }
    const double lo = quantileType7(sorted, 0.00135);
    const double mid = quantileType7(sorted, 0.5);
    const double hi = quantileType7(sorted, 0.99865);
    f.x00135 = Figure::of(lo);
    f.x50 = Figure::of(mid);
    f.x99865 = Figure::of(hi);
    if (!limitProblem.empty()) {
        f.pp = f.ppk = f.ppu = f.ppl = Figure::none(limitProblem);
        return f;
    }
    if (!(hi > lo)) {
        f.pp = f.ppk = f.ppu = f.ppl = Figure::none("no spread");
        return f;
    }
    if (!limits.upper)
        f.ppu = Figure::none("no upper limit");
    else if (!(hi > mid))
        f.ppu = Figure::none("no spread above the median");
    else
        f.ppu = Figure::of((*limits.upper - mid) / (hi - mid));
    if (!limits.lower)
        f.ppl = Figure::none("no lower limit");
    else if (!(mid > lo))
        f.ppl = Figure::none("no spread below the median");
    else
        f.ppl = Figure::of((mid - *limits.lower) / (mid - lo));
    if (limits.lower && limits.upper) {
        f.pp = Figure::of((*limits.upper - *limits.lower) / (hi - lo));
        f.ppk = f.ppu && f.ppl ? Figure::of(std::min(*f.ppu.value, *f.ppl.value)) : (f.ppu ? f.ppl : f.ppu);
    } else {
        f.pp = Figure::none(limits.lower ? "no upper limit" : "no lower limit");
        f.ppk = limits.upper ? f.ppu : f.ppl;
    }
    return f;
}

} // namespace

double quantileType7(std::span<const double> sorted, double p) {
    if (sorted.empty())
        return 0.0;
    const double h = (static_cast<double>(sorted.size()) - 1.0) * std::clamp(p, 0.0, 1.0);
    const size_t i = static_cast<size_t>(std::floor(h));
    if (i + 1 >= sorted.size())
        return sorted.back();
    return sorted[i] + (h - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

double andersonDarlingPValue(double a) {
    double p;
    if (a >= 0.6)
        p = std::exp(1.2937 - 5.709 * a + 0.0186 * a * a);
    else if (a >= 0.34)
        p = std::exp(0.9177 - 4.279 * a - 1.38 * a * a);
    else if (a >= 0.2)
        p = 1.0 - std::exp(-8.318 + 42.796 * a - 59.938 * a * a);
    else
        p = 1.0 - std::exp(-13.436 + 101.14 * a - 223.73 * a * a);
    // The fitted curves leave [0, 1] at the far ends (the first one rises again past A²* = 153).
    if (a >= 153.0 || std::isnan(p))
        return 0.0;
    return std::clamp(p, 0.0, 1.0);
}

Capability capability(std::span<const double> values, const Limits& rawLimits, int subgroupSize,
                      Within within) {
    Capability c;
    const int m = std::max(subgroupSize, 1);
    std::vector<double> v;
    v.reserve(values.size());
    for (double x : values)
        if (std::isfinite(x))
            v.push_back(x);
    c.skipped = static_cast<int>(values.size() - v.size());
    const size_t used = v.size() / static_cast<size_t>(m) * static_cast<size_t>(m);
    c.dropped = static_cast<int>(v.size() - used);
    v.resize(used);
    c.n = static_cast<int>(used);
    c.subgroups = c.n / m;

    // A limit that is no finite number is no limit.
    Limits limits;
    if (rawLimits.lower && std::isfinite(*rawLimits.lower))
        limits.lower = rawLimits.lower;
    if (rawLimits.upper && std::isfinite(*rawLimits.upper))
        limits.upper = rawLimits.upper;
    std::string limitProblem;
    if (!limits.lower && !limits.upper)
        limitProblem = "no limits";
    else if (limits.lower && limits.upper && !(*limits.lower < *limits.upper))
        limitProblem = "lower limit not below upper limit";

    if (v.empty()) {
        const std::string reason = m > 1 && c.dropped > 0 ? "no complete subgroup" : "no values";
        c.mean = c.min = c.max = c.sOverall = c.sWithin = Figure::none(reason);
        c.pp = c.ppk = c.ppu = c.ppl = c.cp = c.cpk = c.cpu = c.cpl = Figure::none(reason);
        c.normality.a2 = c.normality.a2Adjusted = c.normality.pValue = Figure::none(reason);
        c.normality.reason = reason;
        c.percentile = percentileFigures(v, limits, limitProblem);
        return c;
    }

    const double nn = static_cast<double>(v.size());
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / nn;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    c.mean = Figure::of(mean);
    c.min = Figure::of(*lo);
    c.max = Figure::of(*hi);
    c.sOverall = v.size() < 2 ? Figure::none("fewer than two values") : Figure::of(sampleSd(v, mean));
    // Equal values give a rounding residue instead of an exact zero spread.
    if (c.sOverall && *lo == *hi)
        c.sOverall.value = 0.0;

    const WithinEstimate w = estimateWithin(v, m, within);
    c.sWithin = w.reason.empty() ? Figure::of(w.sigma) : Figure::none(w.reason);

    const IndexSet overall = indices(mean, c.sOverall, nn - 1.0, c.n, limits, limitProblem);
    c.pp = overall.p;
    c.ppk = overall.pk;
    c.ppu = overall.pu;
    c.ppl = overall.pl;
    const IndexSet inner = indices(mean, c.sWithin, w.df, c.n, limits, limitProblem);
    c.cp = inner.p;
    c.cpk = inner.pk;
    c.cpu = inner.pu;
    c.cpl = inner.pl;

    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    c.normality = normality(sorted, mean, c.sOverall.value.value_or(0.0));
    c.percentile = percentileFigures(sorted, limits, limitProblem);
    return c;
}

} // namespace statistics
