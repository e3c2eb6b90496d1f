#include "statistics/Histogram.h"

#include "statistics/Distributions.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace statistics {

namespace {

constexpr int kMaxBins = 100;
constexpr double kCurveReach = 4.0; // in s either side of the mean

} // namespace

Histogram histogram(std::span<const double> values, const Limits& limits, int curvePoints) {
    Histogram h;
    std::vector<double> v;
    for (double x : values)
        if (std::isfinite(x))
            v.push_back(x);

    // The span: the values and the finite limits.
    std::vector<double> ends;
    double dataLo = 0.0;
    double dataHi = 0.0;
    if (!v.empty()) {
        const auto [mn, mx] = std::minmax_element(v.begin(), v.end());
        dataLo = *mn;
        dataHi = *mx;
        ends = {dataLo, dataHi};
    }
    for (const std::optional<double>& limit : {limits.lower, limits.upper})
        if (limit && std::isfinite(*limit))
            ends.push_back(*limit);
    double lo = ends.empty() ? 0.0 : *std::min_element(ends.begin(), ends.end());
    double hi = ends.empty() ? 0.0 : *std::max_element(ends.begin(), ends.end());

    if (v.empty() || dataLo == dataHi) {
        // One bin around the value (or the limits); a zero width would divide by zero below.
        if (!(hi > lo)) {
            const double pad = lo != 0.0 ? std::fabs(lo) * 1e-3 : 0.5;
            lo -= pad;
            hi += pad;
        }
        h.edges = {lo, hi};
        h.counts = {static_cast<int>(v.size())};
        return h;
    }

    const size_t n = v.size();
    const int sturges = static_cast<int>(std::ceil(std::log2(static_cast<double>(n)))) + 1;
    const int dataBins = std::max(sturges, static_cast<int>(std::min<size_t>(n, 5)));
    const double width = (dataHi - dataLo) / dataBins;
    const int bins =
        std::clamp(static_cast<int>(std::ceil((hi - lo) / width - 1e-9)), 1, std::max(kMaxBins, dataBins));
    const double step = (hi - lo) / bins;
    h.edges.resize(static_cast<size_t>(bins) + 1);
    for (int i = 0; i <= bins; ++i)
        h.edges[static_cast<size_t>(i)] = lo + step * i;
    h.edges.back() = hi;
    h.counts.assign(static_cast<size_t>(bins), 0);
    for (double x : v) {
        const auto it = std::upper_bound(h.edges.begin(), h.edges.end(), x);
        const auto bin = std::clamp<std::ptrdiff_t>(it - h.edges.begin() - 1, 0, bins - 1);
        ++h.counts[static_cast<size_t>(bin)];
    }

    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(n);
    double ss = 0.0;
    for (double x : v)
        ss += (x - mean) * (x - mean);
    const double sd = std::sqrt(ss / static_cast<double>(n - 1));
    if (!(sd > 0.0) || !std::isfinite(sd))
        return h;
    const int k = std::max(curvePoints, 2);
    const double scale = static_cast<double>(n) * step / sd;
    // Down to the axis on both sides: four s from the mean the density is a three-thousandth of
    // its peak.
    const double from = std::min(lo, mean - kCurveReach * sd);
    const double to = std::max(hi, mean + kCurveReach * sd);
    h.curve.reserve(static_cast<size_t>(k));
    for (int i = 0; i < k; ++i) {
        const double x = i == k - 1 ? to : from + (to - from) * i / (k - 1);
        h.curve.push_back({x, normalPdf((x - mean) / sd) * scale});
    }
    return h;
}

} // namespace statistics
