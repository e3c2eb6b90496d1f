#pragma once

#include "statistics/Capability.h"

#include <optional>
#include <span>
#include <string>

// The type 1 gauge study: one reference part measured repeatedly with the gauge under study.
namespace statistics {

struct GaugeSettings {
    double percentOfTolerance = 20.0; // K: the share of the tolerance the gauge may use, in %
    double spreadFactor = 6.0;        // L: the number of standard deviations taken as the gauge's spread
    double minimumIndex = 1.33;       // Cg and Cgk must reach this
    double alpha = 0.05;              // significance level of the bias test
};

// With T the tolerance (U - L), s the standard deviation (n - 1) and x-bar the mean:
//   Cg  = (K/100 T) / (L s),  Cgk = (K/200 T - |x-bar - x_ref|) / (L/2 s),
//   bias = x-bar - x_ref, tested by the one-sample t-test t = bias / (s / sqrt(n)) with n - 1
//   degrees of freedom, two-sided;
//   percentRepeatability = 100 L s / T, percentBias = 100 |bias| / T.
// capable: Cg and Cgk both reach the minimum; biasSignificant: the p-value is below alpha. Both
// are empty while their figures are undefined.
struct GaugeStudy {
    int n = 0;
    int skipped = 0; // NaN or infinite values
    Figure mean;
    Figure s;
    Figure bias;
    Figure cg;
    Figure cgk;
    Figure t;
    Figure pValue;
    Figure percentRepeatability;
    Figure percentBias;
    std::optional<bool> capable;
    std::optional<bool> biasSignificant;
};

GaugeStudy gaugeStudy(std::span<const double> values, double reference, double tolerance,
                      const GaugeSettings& settings = {});

} // namespace statistics
