#include "statistics/Distributions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace statistics {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-16;
// Keeps the continued fractions away from a division by zero (modified Lentz).
constexpr double kTiny = 1e-300;

// Lentz's method divides by these; a zero would end it.
double awayFromZero(double v) {
    return std::fabs(v) < kTiny ? kTiny : v;
}
constexpr int kMaxTerms = 100000;

// exp(-x + a ln x - ln Gamma(a)): the factor in front of both incomplete gamma expansions.
double gammaFront(double a, double x) {
    return std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// P(a, x) by its power series; converges fast for x < a + 1.
double gammaSeries(double a, double x) {
    double term = 1.0 / a;
    double sum = term;
    for (int i = 1; i < kMaxTerms; ++i) {
        term *= x / (a + i);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * kEps)
            break;
    }
    return sum * gammaFront(a, x);
}

// Q(a, x) by its continued fraction; converges fast for x > a + 1.
double gammaFraction(double a, double x) {
    double b = x + 1.0 - a;
    double c = 1.0 / kTiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        d = awayFromZero(d);
        c = b + an / c;
        c = awayFromZero(c);
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEps)
            break;
    }
    return gammaFront(a, x) * h;
}

// The continued fraction of I_x(a, b); converges fast for x < (a + 1) / (a + b + 2).
double betaFraction(double a, double b, double x) {
    const double qab = a + b;
    const double qap = a + 1.0;
    const double qam = a - 1.0;
    double c = 1.0;
    double d = 1.0 - qab * x / qap;
    d = awayFromZero(d);
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m < kMaxTerms; ++m) {
        const int m2 = 2 * m;
        double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
        d = 1.0 + aa * d;
        d = awayFromZero(d);
        c = 1.0 + aa / c;
        c = awayFromZero(c);
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
        d = 1.0 + aa * d;
        d = awayFromZero(d);
        c = 1.0 + aa / c;
        c = awayFromZero(c);
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEps)
            break;
    }
    return h;
}

// I_x(a, b) with y = 1 - x passed in exactly: the t distribution near t = 0 needs x close to 1,
// where 1 - x would cancel.
double incompleteBeta(double a, double b, double x, double y) {
    if (x <= 0.0)
        return 0.0;
    if (y <= 0.0)
        return 1.0;
    const double front =
        std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log(y));
    if (x < (a + 1.0) / (a + b + 2.0))
        return front * betaFraction(a, b, x) / a;
    return 1.0 - front * betaFraction(b, a, y) / b;
}

// P(T > t) for t >= 0.
double studentTUpperTail(double t, double df) {
    const double t2 = t * t;
    if (std::isinf(t2))
        return 0.0;
    return 0.5 * incompleteBeta(0.5 * df, 0.5, df / (df + t2), t2 / (df + t2));
}

// The root of an increasing function of u = ln(x), given as {value, slope}, starting from a guess:
// first a bracket, then Newton steps that fall back to halving whenever they leave it. Working on
// ln(x) keeps the relative precision of tiny and huge quantiles alike.
template <class F> double solveIncreasingInLog(F f, double guess) {
    constexpr double kLimit = 700.0; // exp() stays finite
    double u = std::clamp(std::log(guess), -kLimit, kLimit);
    double lo = u;
    double hi = u;
    double step = 1.0;
    if (f(u).first > 0.0) {
        while (lo > -kLimit && f(lo).first > 0.0) {
            hi = lo;
            lo = std::max(lo - step, -kLimit);
            step *= 2.0;
        }
    } else {
        while (hi < kLimit && f(hi).first < 0.0) {
            lo = hi;
            hi = std::min(hi + step, kLimit);
            step *= 2.0;
        }
    }
    u = 0.5 * (lo + hi);
    for (int i = 0; i < 300; ++i) {
        const auto [value, slope] = f(u);
        if (value == 0.0)
            break;
        (value < 0.0 ? lo : hi) = u;
        double next = u - value / slope;
        if (!(slope > 0.0) || !std::isfinite(next) || next <= lo || next >= hi)
            next = 0.5 * (lo + hi);
        const bool done = std::fabs(next - u) <= 1e-15 * std::max(1.0, std::fabs(u));
        u = next;
        if (done || hi - lo <= 1e-15 * std::max(1.0, std::fabs(u)))
            break;
    }
    return std::exp(u);
}

} // namespace

double normalPdf(double z) {
    return std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
}

double normalCdf(double z) {
    return 0.5 * std::erfc(-z / std::numbers::sqrt2);
}

double logNormalCdf(double z) {
    if (std::isnan(z))
        return kNaN;
    if (z > 0.0)
        return std::log1p(-0.5 * std::erfc(z / std::numbers::sqrt2));
    if (z > -37.0)
        return std::log(normalCdf(z));
    // Asymptotic series of the Mills ratio; erfc underflows from here on.
    const double r = 1.0 / (z * z);
    const double series = 1.0 - r * (1.0 - 3.0 * r * (1.0 - 5.0 * r * (1.0 - 7.0 * r)));
    return -0.5 * z * z - std::log(-z) - 0.5 * std::log(2.0 * std::numbers::pi) + std::log(series);
}

double normalQuantile(double p) {
    if (std::isnan(p) || p < 0.0 || p > 1.0)
        return kNaN;
    if (p == 0.0)
        return -kInf;
    if (p == 1.0)
        return kInf;
    // Refined in the lower half, where normalCdf keeps its relative precision; 1 - p is exact
    // for p >= 0.5.
    if (p > 0.5)
        return -normalQuantile(1.0 - p);
    // Acklam's rational approximation (relative error 1.2e-9), then Halley steps on erfc.
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                   1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    double x;
    if (p < 0.02425) {
        const double q = std::sqrt(-2.0 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    } else {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
    }
    for (int i = 0; i < 2; ++i) {
        const double e = normalCdf(x) - p;
        const double u = e * std::sqrt(2.0 * std::numbers::pi) * std::exp(0.5 * x * x);
        x -= u / (1.0 + 0.5 * x * u);
    }
    return x;
}

namespace {

struct GammaPQ {
    double p, q;
};

// P and Q together: the one whose expansion converges at x is computed, the other is its
// complement, so each keeps its precision where it is small.
GammaPQ regularizedGamma(double a, double x) {
    if (std::isnan(a) || std::isnan(x) || a <= 0.0 || x < 0.0)
        return {kNaN, kNaN};
    if (x == 0.0)
        return {0.0, 1.0};
    if (std::isinf(x))
        return {1.0, 0.0};
    if (x < a + 1.0) {
        const double p = gammaSeries(a, x);
        return {p, 1.0 - p};
    }
    const double q = gammaFraction(a, x);
    return {1.0 - q, q};
}

} // namespace

double regularizedGammaP(double a, double x) {
    return regularizedGamma(a, x).p;
}

double regularizedGammaQ(double a, double x) {
    return regularizedGamma(a, x).q;
}

double studentTPdf(double t, double df) {
    if (std::isnan(t) || std::isnan(df) || df <= 0.0)
        return kNaN;
    return std::exp(std::lgamma(0.5 * (df + 1.0)) - std::lgamma(0.5 * df) -
                    0.5 * std::log(df * std::numbers::pi) - 0.5 * (df + 1.0) * std::log1p(t * t / df));
}

double studentTCdf(double t, double df) {
    if (std::isnan(t) || std::isnan(df) || df <= 0.0)
        return kNaN;
    const double tail = studentTUpperTail(std::fabs(t), df);
    return t < 0.0 ? tail : 1.0 - tail;
}

double studentTQuantile(double p, double df) {
    if (std::isnan(p) || std::isnan(df) || df <= 0.0 || p < 0.0 || p > 1.0)
        return kNaN;
    if (p == 0.0)
        return -kInf;
    if (p == 1.0)
        return kInf;
    if (p == 0.5)
        return 0.0;
    const double q = std::min(p, 1.0 - p);
    // Cornish-Fisher start from the normal quantile.
    const double z = -normalQuantile(q);
    const double guess = z + (z * z * z + z) / (4.0 * df) +
                         (5.0 * std::pow(z, 5) + 16.0 * z * z * z + 3.0 * z) / (96.0 * df * df);
    const double t = solveIncreasingInLog(
        [&](double u) {
            const double x = std::exp(u);
            return std::pair{q - studentTUpperTail(x, df), studentTPdf(x, df) * x};
        },
        std::max(guess, 1e-300));
    return p < 0.5 ? -t : t;
}

double chiSquarePdf(double x, double df) {
    if (std::isnan(x) || std::isnan(df) || df <= 0.0)
        return kNaN;
    if (x < 0.0)
        return 0.0;
    const double k = 0.5 * df;
    if (x == 0.0)
        return k < 1.0 ? kInf : (k == 1.0 ? 0.5 : 0.0);
    return std::exp((k - 1.0) * std::log(x) - 0.5 * x - k * std::numbers::ln2 - std::lgamma(k));
}

double chiSquareCdf(double x, double df) {
    if (std::isnan(x) || std::isnan(df) || df <= 0.0)
        return kNaN;
    return x <= 0.0 ? 0.0 : regularizedGammaP(0.5 * df, 0.5 * x);
}

double chiSquareQuantile(double p, double df) {
    if (std::isnan(p) || std::isnan(df) || df <= 0.0 || p < 0.0 || p > 1.0)
        return kNaN;
    if (p == 0.0)
        return 0.0;
    if (p == 1.0)
        return kInf;
    // Wilson-Hilferty start; in the far lower tail the leading term of the series instead.
    const double h = 2.0 / (9.0 * df);
    const double w = 1.0 - h + normalQuantile(p) * std::sqrt(h);
    double guess = df * w * w * w;
    if (!(guess > 0.0))
        guess = 2.0 * std::exp((std::log(p) + std::lgamma(0.5 * df + 1.0)) / (0.5 * df));
    const double k = 0.5 * df;
    const bool lower = p <= 0.5;
    const double target = lower ? p : 1.0 - p;
    return solveIncreasingInLog(
        [&](double u) {
            const double x = std::exp(u);
            const double value =
                lower ? regularizedGammaP(k, 0.5 * x) - target : target - regularizedGammaQ(k, 0.5 * x);
            return std::pair{value, chiSquarePdf(x, df) * x};
        },
        std::max(guess, 1e-300));
}

} // namespace statistics
