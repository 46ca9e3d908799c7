// The direction of a text: atan2, and the sine and cosine of its result,
// correctly rounded (to nearest, ties to even), so every platform gives the
// same bits, and the best bits any implementation can give.
#pragma once

namespace textmatte::maths {

// atan2(y, x) for every pair of doubles; zeros, infinities and NaN as C99
// Annex F says.
double atan2(double y, double x);

// Sine and cosine of x, correctly rounded for |x| <= 4 (every angle atan2
// gives). For larger x they are the C library's.
double sin(double x);
double cos(double x);
// Both at once, sharing the work; each as sin() and cos() give it.
void sin_cos(double x, double& s, double& c);

} // namespace textmatte::maths
