#include "statistics/GaugeStudy.h"

#include "statistics/Distributions.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace statistics {

GaugeStudy gaugeStudy(std::span<const double> values, double reference, double tolerance,
                      const GaugeSettings& settings) {
    GaugeStudy g;
    std::vector<double> v;
    for (double x : values)
        if (std::isfinite(x))
            v.push_back(x);
    g.n = static_cast<int>(v.size());
    g.skipped = static_cast<int>(values.size() - v.size());

    // The first reason that applies, in the order a user would fix them.
    std::string spreadProblem;
    if (v.empty())
        spreadProblem = "no values";
    else if (v.size() < 2)
        spreadProblem = "fewer than two values";
    const std::string referenceProblem = std::isfinite(reference) ? "" : "no reference value";
    const std::string toleranceProblem =
        std::isfinite(tolerance) && tolerance > 0.0 ? "" : "tolerance not positive";
    const std::string settingsProblem =
        settings.percentOfTolerance > 0.0 && settings.spreadFactor > 0.0 ? "" : "invalid study settings";

    const double n = static_cast<double>(v.size());
    const double mean = v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / n;
    g.mean = v.empty() ? Figure::none(spreadProblem) : Figure::of(mean);
    g.bias = v.empty()
                 ? Figure::none(spreadProblem)
                 : (referenceProblem.empty() ? Figure::of(mean - reference) : Figure::none(referenceProblem));
    double s = 0.0;
    if (spreadProblem.empty()) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        double ss = 0.0;
        for (double x : v)
            ss += (x - mean) * (x - mean);
        s = *lo == *hi ? 0.0 : std::sqrt(ss / (n - 1.0));
        g.s = Figure::of(s);
        if (!(s > 0.0))
            spreadProblem = "no spread";
    } else {
        g.s = Figure::none(spreadProblem);
    }

    const double k = settings.percentOfTolerance;
    const double l = settings.spreadFactor;
    const auto first = [](std::initializer_list<const std::string*> problems) -> const std::string* {
        for (const std::string* p : problems)
            if (!p->empty())
                return p;
        return nullptr;
    };
    if (const std::string* p = first({&spreadProblem, &toleranceProblem, &settingsProblem}))
        g.cg = Figure::none(*p);
    else
        g.cg = Figure::of(k / 100.0 * tolerance / (l * s));
    if (const std::string* p =
            first({&spreadProblem, &referenceProblem, &toleranceProblem, &settingsProblem}))
        g.cgk = Figure::none(*p);
    else
        g.cgk = Figure::of((k / 200.0 * tolerance - std::fabs(mean - reference)) / (l / 2.0 * s));

    // A zero spread still gives a repeatability share of 0 %.
    const std::string& sProblem = g.s ? toleranceProblem : g.s.reason;
    if (const std::string* p = first({&sProblem, &settingsProblem}))
        g.percentRepeatability = Figure::none(*p);
    else
        g.percentRepeatability = Figure::of(100.0 * l * s / tolerance);
    if (!g.bias)
        g.percentBias = Figure::none(g.bias.reason);
    else if (!toleranceProblem.empty())
        g.percentBias = Figure::none(toleranceProblem);
    else
        g.percentBias = Figure::of(100.0 * std::fabs(*g.bias.value) / tolerance);

    if (const std::string* p = first({&spreadProblem, &referenceProblem})) {
        g.t = g.pValue = Figure::none(*p);
    } else {
        const double t = (mean - reference) / (s / std::sqrt(n));
        g.t = Figure::of(t);
        // Both tails from the lower one, which keeps its precision for large |t|.
        g.pValue = Figure::of(std::min(1.0, 2.0 * studentTCdf(-std::fabs(t), n - 1.0)));
    }

    if (g.cg && g.cgk)
        g.capable = *g.cg.value >= settings.minimumIndex && *g.cgk.value >= settings.minimumIndex;
    if (g.pValue && settings.alpha > 0.0 && settings.alpha < 1.0)
        g.biasSignificant = *g.pValue.value < settings.alpha;
    return g;
}

} // namespace statistics
