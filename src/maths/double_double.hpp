// Error-free transformations of doubles: a sum or product as the rounded
// result and its exact rounding error. Plain IEEE arithmetic only (no fused
// multiply-add), so every platform gets the same bits; the build keeps the
// compiler from contracting them.
#pragma once

namespace textmatte::maths {

// A value carried as hi + lo, |lo| small against |hi|.
struct DoubleDouble {
    double hi = 0.0;
    double lo = 0.0;
};

// a + b exactly, any magnitudes.
inline DoubleDouble two_sum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, when |a| >= |b| or a is 0.
inline DoubleDouble fast_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// Splits a (|a| < 2^995) into two halves of 26 bits each: hi + lo == a.
inline void split(double a, double& hi, double& lo) {
    constexpr double kSplitter = 134217729.0; // 2^27 + 1
    const double c = kSplitter * a;
    hi = c - (c - a);
    lo = a - hi;
}

// a * b exactly (Dekker), when the product neither overflows nor comes
// near the subnormal range.
inline DoubleDouble two_product(double a, double b) {
    const double p = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

} // namespace textmatte::maths
