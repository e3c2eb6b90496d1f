#pragma once

// The distribution functions behind the capability bounds, the normality test and the bias test.
// Plain double precision throughout (about 1e-12 relative or better); an argument outside a
// function's domain (a negative degree of freedom, p outside [0, 1]) gives NaN, which the callers
// in this library never pass on to a result.
namespace statistics {

// Standard normal distribution.
double normalPdf(double z);
double normalCdf(double z);
// The natural log of normalCdf(z), exact far into the lower tail where normalCdf underflows.
double logNormalCdf(double z);
// p = 0 gives -inf and p = 1 gives +inf.
double normalQuantile(double p);

// Regularized incomplete gamma P(a, x) and its complement Q(a, x) = 1 - P(a, x), a > 0, x >= 0.
double regularizedGammaP(double a, double x);
double regularizedGammaQ(double a, double x);

// Student t with df > 0 degrees of freedom (not necessarily whole).
double studentTPdf(double t, double df);
double studentTCdf(double t, double df);
double studentTQuantile(double p, double df);

// Chi-square with df > 0 degrees of freedom.
double chiSquarePdf(double x, double df);
double chiSquareCdf(double x, double df);
double chiSquareQuantile(double p, double df);

} // namespace statistics
