#pragma once

#include "statistics/Capability.h"

#include <span>
#include <vector>

// The histogram of a characteristic's values with the fitted normal curve.
namespace statistics {

struct CurvePoint {
    double x;
    double y;
};

// edges has one entry more than counts; a bin holds the values from its lower edge up to, not
// including, its upper edge, and the last bin holds its upper edge too. curve: the normal density
// of the mean and sOverall, scaled to counts (density x n x bin width); empty without spread.
struct Histogram {
    std::vector<double> edges;
    std::vector<int> counts;
    std::vector<CurvePoint> curve;
};

// The bin count follows Sturges (ceil(log2 n) + 1), at least 5 from five values on (at least n
// below). The bins span the values and the finite limits given, at the width the values alone
// would get, in at most 100 bins (wider bins past that). NaN and infinities are skipped. No
// values, or values all equal, give one bin and no curve. curvePoints (at least 2) samples are
// taken evenly over the bins and four s either side of the mean, whichever reaches farther.
Histogram histogram(std::span<const double> values, const Limits& limits = {}, int curvePoints = 101);

} // namespace statistics
