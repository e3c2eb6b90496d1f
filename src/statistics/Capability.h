#pragma once

#include <optional>
#include <span>
#include <string>

// Process capability of one characteristic after ISO 22514-2 and the AIAG SPC manual.
//
// The values come in time order; NaN and infinities are skipped. With a subgroup size m > 1 the
// values form consecutive subgroups of m and an incomplete last subgroup is dropped; every figure,
// the overall ones included, is then taken over the values of the complete subgroups, so that all
// figures describe the same values (Capability::n; skipped and dropped say what was left out).
//
// Overall figures (Pp, Ppk, Ppu, Ppl) use the sample standard deviation sOverall (n - 1). Within
// figures (Cp, Cpk, Cpu, Cpl) use sWithin: for individual values the mean moving range of two
// divided by d2 = 1.128; for subgroups R-bar / d2 or s-bar / c4 (ControlChart.h holds the constants;
// the range method takes subgroups of 2 to 25, the s method any size), from two subgroups on.
//
// One-sided limits: ISO 22514-2 defines Cpk = min(Cpk,L, Cpk,U) over the limits there are, and the
// AIAG manual takes Cpk as CPU or CPL for a one-sided tolerance; so with an upper limit only,
// Ppk = Ppu and Cpk = Cpu (and likewise for a lower limit only), while Pp and Cp, which need the
// width of the tolerance, stay undefined ("no lower limit"). A mean beyond a limit gives a negative
// index; it is a valid figure and kept.
namespace statistics {

struct Limits {
    std::optional<double> lower;
    std::optional<double> upper;
};

// How the within-subgroup spread is estimated for subgroups of two or more values.
enum class Within { Range, StdDev };

// One figure: a finite value, or none and a short English reason ("no spread"). Never NaN or
// infinite. lower95/upper95: the two-sided 95 % confidence bounds, for the indices that have them.
struct Figure {
    std::optional<double> value;
    std::string reason;
    std::optional<double> lower95;
    std::optional<double> upper95;

    explicit operator bool() const { return value.has_value(); }

    // A value when it is finite, else none with the reason "not a finite number".
    static Figure of(double v);
    static Figure none(std::string reason);
};

// Anderson-Darling test for normality with mean and standard deviation estimated from the values.
// a2: the statistic A²; a2Adjusted: A²* = A²(1 + 0.75/n + 2.25/n²); pValue from A²* after
// D'Agostino & Stephens (1986); normal: the p-value is 0.05 or more. Needs eight values.
struct Normality {
    Figure a2;
    Figure a2Adjusted;
    Figure pValue;
    std::optional<bool> normal;
    std::string reason;
};

// The percentile (quantile) method, an alternative to the normal-based overall figures: with the
// empirical quantiles X0.135, X50 and X99.865 of the values (linear interpolation between order
// statistics, Hyndman & Fan type 7: h = (n - 1)p, the value at position h counted from 0),
// Pp = (U - L) / (X99.865 - X0.135), Ppu = (U - X50) / (X99.865 - X50),
// Ppl = (X50 - L) / (X50 - X0.135), Ppk = min of those there are.
struct PercentileFigures {
    Figure x00135;
    Figure x50;
    Figure x99865;
    Figure pp;
    Figure ppk;
    Figure ppu;
    Figure ppl;
};

struct Capability {
    int n = 0;         // values the figures are taken over
    int skipped = 0;   // NaN or infinite values
    int dropped = 0;   // values of an incomplete last subgroup
    int subgroups = 0; // complete subgroups (equal to n for individual values)

    Figure mean;
    Figure min;
    Figure max;
    Figure sOverall;
    Figure sWithin;

    // 95 % bounds: Pp and Cp from the chi-square distribution of the spread (n - 1 degrees of
    // freedom overall; within, the effective degrees of freedom 1 / (2 CV²) of the estimator, CV
    // its coefficient of variation: CV² = d3² / (k d2²) for R-bar, (1 - c4²) / (k c4²) for s-bar,
    // and for moving ranges d3² / d2² with the 0.224 correlation of neighbouring ranges). Ppk
    // and Cpk (and the one-sided indices) by Bissell's normal approximation
    // C ± z sqrt(1 / (9n) + C² / (2 df)), df = n - 1 overall and the effective one within.
    Figure pp;
    Figure ppk;
    Figure ppu;
    Figure ppl;
    Figure cp;
    Figure cpk;
    Figure cpu;
    Figure cpl;

    Normality normality;
    PercentileFigures percentile;
};

Capability capability(std::span<const double> values, const Limits& limits, int subgroupSize = 1,
                      Within within = Within::Range);

// The p-value of the adjusted Anderson-Darling statistic A²* for a normal distribution with
// estimated mean and standard deviation (D'Agostino & Stephens 1986, table 4.9), within [0, 1].
double andersonDarlingPValue(double a2Adjusted);

// The empirical quantile of sorted values by linear interpolation (type 7); p within [0, 1].
double quantileType7(std::span<const double> sorted, double p);

} // namespace statistics
