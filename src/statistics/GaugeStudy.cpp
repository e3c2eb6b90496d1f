#include "statistics/GaugeStudy.h"

#include "statistics/Distributions.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace statistics {

namespace {

Figure finite(double v) {
    Figure f;
    if (std::isfinite(v))
        f.value = v;
    else
        f.reason = "not a finite number";
    return f;
}

Figure none(const std::string& reason) {
    Figure f;
    f.reason = reason;
    return f;
}

} // namespace

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
    g.mean = v.empty() ? none(spreadProblem) : finite(mean);
    g.bias = v.empty() ? none(spreadProblem)
                       : (referenceProblem.empty() ? finite(mean - reference) : none(referenceProblem));
    double s = 0.0;
    if (spreadProblem.empty()) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        double ss = 0.0;
        for (double x : v)
            ss += (x - mean) * (x - mean);
        s = *lo == *hi ? 0.0 : std::sqrt(ss / (n - 1.0));
        g.s = finite(s);
        if (!(s > 0.0))
            spreadProblem = "no spread";
    } else {
        g.s = none(spreadProblem);
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
        g.cg = none(*p);
    else
        g.cg = finite(k / 100.0 * tolerance / (l * s));
    if (const std::string* p =
            first({&spreadProblem, &referenceProblem, &toleranceProblem, &settingsProblem}))
        g.cgk = none(*p);
    else
        g.cgk = finite((k / 200.0 * tolerance - std::fabs(mean - reference)) / (l / 2.0 * s));

    // A zero spread still gives a repeatability share of 0 %.
    const std::string& sProblem = g.s ? toleranceProblem : g.s.reason;
    if (const std::string* p = first({&sProblem, &settingsProblem}))
        g.percentRepeatability = none(*p);
    else
        g.percentRepeatability = finite(100.0 * l * s / tolerance);
    if (!g.bias)
        g.percentBias = none(g.bias.reason);
    else if (!toleranceProblem.empty())
        g.percentBias = none(toleranceProblem);
    else
        g.percentBias = finite(100.0 * std::fabs(*g.bias.value) / tolerance);

    if (const std::string* p = first({&spreadProblem, &referenceProblem})) {
        g.t = g.pValue = none(*p);
    } else {
        const double t = (mean - reference) / (s / std::sqrt(n));
        g.t = finite(t);
        // Both tails from the lower one, which keeps its precision for large |t|.
        g.pValue = finite(std::min(1.0, 2.0 * studentTCdf(-std::fabs(t), n - 1.0)));
    }

    if (g.cg && g.cgk)
        g.capable = *g.cg.value >= settings.minimumIndex && *g.cgk.value >= settings.minimumIndex;
    if (g.pValue && settings.alpha > 0.0 && settings.alpha < 1.0)
        g.biasSignificant = *g.pValue.value < settings.alpha;
    return g;
}

} // namespace statistics
