// Correct rounding in two steps. The fast step evaluates the function as
// hi + lo in double arithmetic made exact where it matters (error-free sums
// and products), with a proven bound on its error. When the whole interval
// hi + lo +- bound rounds to one double, that double is the correctly
// rounded result. Otherwise, about once in 5000 calls (the interval is
// 2^-65 of the result wide, a double's unit 2^-52 to 2^-53 of it), the
// exact side (precise.cpp) evaluates with as many bits as it takes.
//
// The error bounds, relative to the result:
//  - atan: the argument t = min/max is carried to 2^-105; the reduction
//    u = (t - c) / (1 + t c), c = j/256, |u| <= 2^-9, to 2^-104; the series
//    of atan(u) has its cubic and higher terms (at most 2^-19.5 |u|) in
//    plain double, off by at most 4 2^-53 of themselves, and stops at u^9
//    (the rest is below 2^-90 |u|); the table to 2^-106. |u| is at most the
//    result, so the total stays below 2^-69.5.
//  - sine and cosine: x - k pi/2 with pi/2 to 152 bits is exact to 2^-105
//    of the reduced r (|r| >= 2^-54 for |x| <= 4); u = r - j/256, |u| <=
//    2^-9; cos(u) - 1 (at most 2^-19) and sin(u) - u (at most 2^-28.5 |u|)
//    are in plain double, within 2^-70 absolute and 2^-78 |u|; combined
//    with the table's sin and cos of j/256, whose sine is at most twice the
//    result, the total stays below 2^-68.5.
// The test uses 2^-66, and the tests measure the actual error against
// exact values on millions of arguments.
#include "maths/directions.hpp"

#include <cassert>
#include <cmath>

#include "maths/double_double.hpp"
#include "maths/fast.hpp"
#include "maths/precise.hpp"
#include "maths/tables.hpp"

namespace textmatte::maths {

namespace {

using tables::kHalfPi;
using tables::kPi;

constexpr double kBound = 0x1p-66;

// hi + lo rounded, if every value within the bound rounds the same way.
bool rounds_to(const DoubleDouble& v, double& result) {
    const double e = kBound * std::fabs(v.hi);
    const double low = v.hi + (v.lo - e);
    if (low != v.hi + (v.lo + e)) return false;
    result = low;
    return true;
}

DoubleDouble negated(const DoubleDouble& v) {
    return {-v.hi, -v.lo};
}

// c - v for a constant c at least twice v.
DoubleDouble subtract_from(const DoubleDouble& c, const DoubleDouble& v) {
    const DoubleDouble s = two_sum(c.hi, -v.hi);
    return {s.hi, s.lo + (c.lo - v.lo)};
}

// atan(hi + lo) - hi for |hi| <= 2^-9 and |lo| <= 2^-52 |hi|: the series
// to the u^9 term.
double atan_small_rest(double hi, double lo) {
    const double q = hi * hi;
    const double poly = q * (-1.0 / 3 + q * (1.0 / 5 + q * (-1.0 / 7 + q * (1.0 / 9))));
    return lo * (1.0 - q) + hi * poly;
}

} // namespace

// atan(t) for t = t_hi + t_lo in [2^-61, 1].
DoubleDouble fast::atan(double t_hi, double t_lo) {
    assert(t_hi >= 0x1p-61 && t_hi <= 1.0);
    const int j = static_cast<int>(t_hi * tables::kSteps + 0.5);
    if (j == 0) return {t_hi, atan_small_rest(t_hi, t_lo)};
    const double c = static_cast<double>(j) / tables::kSteps;
    // u = (t - c) / (1 + t c), numerator and denominator as hi + lo.
    const DoubleDouble n = two_sum(t_hi - c, t_lo); // t_hi - c is exact
    const DoubleDouble p = two_product(t_hi, c);
    const DoubleDouble one_plus = two_sum(1.0, p.hi);
    const double d_hi = one_plus.hi;
    const double d_lo = one_plus.lo + (p.lo + t_lo * c);
    const double u_hi = n.hi / d_hi;
    const DoubleDouble e = two_product(u_hi, d_hi);
    const double u_lo = (((n.hi - e.hi) - e.lo) + n.lo - u_hi * d_lo) / d_hi;
    const DoubleDouble& a = tables::kAtan[j];
    const DoubleDouble s = two_sum(a.hi, u_hi);
    return {s.hi, s.lo + (a.lo + atan_small_rest(u_hi, u_lo))};
}

namespace {

// x - k pi/2 for the k nearest to x 2/pi, |x| <= 4; returns k.
int reduce(double x, DoubleDouble& r) {
    const int k = static_cast<int>(std::floor(x * tables::kTwoOverPi + 0.5));
    const double kd = k;
    const double* p = tables::kHalfPiParts;
    const double a = x - kd * p[0]; // exact: k p[0] lies within a factor 2 of x
    const DoubleDouble s1 = two_sum(a, -kd * p[1]);
    const DoubleDouble s2 = two_sum(s1.hi, -kd * p[2]);
    r = fast_two_sum(s2.hi, (s1.lo + s2.lo) - kd * p[3]);
    return k;
}

// Sine and cosine of r = hi + lo, |r| <= pi/4 + 2^-9.
void sin_cos_fast(const DoubleDouble& r, DoubleDouble& s, DoubleDouble& c) {
    const int j = static_cast<int>(std::floor(r.hi * tables::kSteps + 0.5));
    const int i = j < 0 ? -j : j;
    assert(i < tables::kSinCosEntries);
    const double u_hi = r.hi - static_cast<double>(j) / tables::kSteps; // exact
    const double u_lo = r.lo;
    const double q = u_hi * u_hi;
    // sin(u) - u_hi and cos(u) - 1, to the u^9 and u^8 terms.
    const double sin_rest =
        u_lo * (1.0 - 0.5 * q) +
        u_hi * q * (-1.0 / 6 + q * (1.0 / 120 + q * (-1.0 / 5040 + q * (1.0 / 362880))));
    const double cos_rest =
        -u_hi * u_lo + q * (-1.0 / 2 + q * (1.0 / 24 + q * (-1.0 / 720 + q * (1.0 / 40320))));
    const DoubleDouble sj = j < 0 ? negated(tables::kSin[i]) : tables::kSin[i];
    const DoubleDouble& cj = tables::kCos[i];
    // sin r = sin a cos u + cos a sin u, cos r = cos a cos u - sin a sin u.
    const DoubleDouble ps = two_product(cj.hi, u_hi);
    const DoubleDouble ss = two_sum(sj.hi, ps.hi);
    s = {ss.hi, ss.lo + (ps.lo + sj.lo + cj.lo * u_hi + sj.hi * cos_rest + cj.hi * sin_rest)};
    const DoubleDouble pc = two_product(sj.hi, u_hi);
    const DoubleDouble sc = two_sum(cj.hi, -pc.hi);
    c = {sc.hi, sc.lo + (-pc.lo + cj.lo - sj.lo * u_hi + cj.hi * cos_rest - sj.hi * sin_rest)};
}

} // namespace

// Sine and cosine of x by quadrant, |x| <= 4.
void fast::sin_cos(double x, DoubleDouble& s, DoubleDouble& c) {
    assert(std::fabs(x) >= 0x1p-27 && std::fabs(x) <= 4.0);
    DoubleDouble r, sr, cr;
    const int k = reduce(x, r);
    sin_cos_fast(r, sr, cr);
    switch (k & 3) {
    case 0: s = sr, c = cr; break;
    case 1: s = cr, c = negated(sr); break;
    case 2: s = negated(sr), c = negated(cr); break;
    default: s = negated(cr), c = sr; break;
    }
}

namespace {

// Below these magnitudes sin x rounds to x and cos x to 1: sin x lies
// within x^3/6 < 2^-54.5 x below x, cos x within x^2/2 < 2^-55 below 1.
constexpr double kSinIsX = 0x1p-26;
constexpr double kCosIsOne = 0x1p-27;
constexpr double kLargest = 4.0;

} // namespace

double atan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return x + y;
    const bool y_negative = std::signbit(y), x_negative = std::signbit(x);
    const double ay = std::fabs(y), ax = std::fabs(x);
    double r;
    if (ay == 0.0) {
        if (!x_negative) return y; // +0 or -0
        r = kPi.hi;
    } else if (ax == 0.0) {
        r = kHalfPi.hi;
    } else if (std::isinf(ax) || std::isinf(ay)) {
        if (std::isinf(ax) && std::isinf(ay))
            r = x_negative ? tables::kThreeQuarterPi : tables::kQuarterPi;
        else if (std::isinf(ax))
            r = x_negative ? kPi.hi : 0.0;
        else
            r = kHalfPi.hi;
    } else {
        const bool swapped = ay > ax;
        const double num = swapped ? ax : ay, den = swapped ? ay : ax;
        int num_exponent, den_exponent;
        std::frexp(num, &num_exponent);
        std::frexp(den, &den_exponent);
        if (num_exponent - den_exponent < -60) {
            // t = num/den < 2^-60: atan t is t less at most 2^-120 t, and
            // pi/2 and pi lie 0.28 of their last unit above their doubles.
            if (swapped)
                r = kHalfPi.hi;
            else
                r = x_negative ? kPi.hi : precise::atan_of_tiny_ratio(num, den);
        } else {
            // Scaled so the denominator lies in [0.5, 1): t is unchanged.
            const double n = std::ldexp(num, -den_exponent), d = std::ldexp(den, -den_exponent);
            const double t_hi = n / d;
            const DoubleDouble p = two_product(t_hi, d);
            const double t_lo = ((n - p.hi) - p.lo) / d;
            DoubleDouble v = fast::atan(t_hi, t_lo);
            if (swapped) v = subtract_from(kHalfPi, v);
            if (x_negative) v = subtract_from(kPi, v);
            if (!rounds_to(v, r)) return precise::atan2(y, x);
        }
    }
    return y_negative ? -r : r;
}

void sin_cos(double x, double& s, double& c) {
    const double ax = std::fabs(x);
    if (ax < kCosIsOne) {
        s = x;
        c = 1.0;
        return;
    }
    if (!(ax <= kLargest)) { // also for infinities and NaN
        s = std::sin(x);
        c = std::cos(x);
        return;
    }
    DoubleDouble sv, cv;
    fast::sin_cos(x, sv, cv);
    if (ax < kSinIsX)
        s = x;
    else if (!rounds_to(sv, s))
        s = precise::sin(x);
    if (!rounds_to(cv, c)) c = precise::cos(x);
}

double sin(double x) {
    double s, c;
    sin_cos(x, s, c);
    return s;
}

double cos(double x) {
    double s, c;
    sin_cos(x, s, c);
    return c;
}

} // namespace textmatte::maths
