#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

// Shewhart control charts for variables: individuals and moving range (I-MR), means and ranges
// (X-bar-R), means and standard deviations (X-bar-s), with the Western Electric run rules on the
// location chart.
namespace statistics {

// Control chart constants for a subgroup size n (ASTM E2587, AIAG SPC manual): d2, d3, c4 the
// unbiasing constants of range and standard deviation; A2, A3 the factors of the mean chart's
// limits; D3, D4 those of the range chart and B3, B4 those of the s chart (0 where the lower limit
// does not exist). Rounded as the tables print them (c4 to four decimals, the rest to three).
struct ChartConstants {
    int n;
    double d2, d3, c4, A2, A3, D3, D4, B3, B4;
};

// The constants for 2 <= n <= 25; none for other sizes.
std::optional<ChartConstants> chartConstants(int n);

// c4 = sqrt(2 / (n - 1)) Gamma(n / 2) / Gamma((n - 1) / 2) unrounded, for any n >= 2.
double c4Exact(int n);

enum class ChartKind { IndividualsMovingRange, MeanRange, MeanStdDev };

// One chart: its plotted points, centre line and control limits. The lower limit of a range or s
// chart is 0 where its constant is 0.
struct ChartLine {
    std::vector<double> points;
    double centre = 0.0;
    double ucl = 0.0;
    double lcl = 0.0;
};

// A broken run rule: the index of the point that completes the pattern, the rule (1 to 4) and an
// English text for a tooltip.
struct RuleViolation {
    int index;
    int rule;
    std::string text;
};

struct ControlChart {
    ChartKind kind = ChartKind::IndividualsMovingRange;
    bool valid = false;
    std::string reason; // why not valid, in English
    int n = 0;          // values used
    int skipped = 0;    // NaN or infinite values
    int dropped = 0;    // values of an incomplete last subgroup
    // The location chart: individual values or subgroup means.
    ChartLine location;
    // The dispersion chart: moving ranges (point i belongs to value i + 1), subgroup ranges or
    // subgroup standard deviations.
    ChartLine dispersion;
    // The process sigma the limits stand for: MR-bar / d2, R-bar / d2 or s-bar / c4.
    double sigma = 0.0;
    std::vector<RuleViolation> violations;
};

// The chart for values in time order (NaN and infinities skipped). subgroupSize applies to the
// mean charts only (2 to 25; an incomplete last subgroup is dropped); they need two subgroups, the
// I-MR chart two values. Without spread the limits equal the centre line and no run rule is
// checked.
ControlChart controlChart(std::span<const double> values, ChartKind kind = ChartKind::IndividualsMovingRange,
                          int subgroupSize = 5);

// The Western Electric rules on points about a centre line, sigma being the standard deviation
// of a plotted point ((UCL - centre) / 3):
//   rule 1: one point beyond 3 sigma;
//   rule 2: two of three consecutive points beyond 2 sigma on the same side;
//   rule 3: eight consecutive points on one side of the centre line (the Western Electric count;
//           Nelson's rule uses nine);
//   rule 4: six consecutive points steadily rising or falling.
// Each violation marks the point that completes the pattern, which must itself be part of it
// (for rule 2 that point is beyond 2 sigma). A longer run marks every point that ends a window
// of the rule's length, so ten points above the centre line mark the 8th, 9th and 10th. A point
// on the centre line, or equal to its neighbour, ends a run. Ordered by index, then rule.
std::vector<RuleViolation> runRuleViolations(std::span<const double> points, double centre, double sigma);

} // namespace statistics
