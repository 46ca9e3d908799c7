// The slow, exact side of the direction functions: arithmetic on long
// binary fixed-point numbers, and atan2, sine and cosine evaluated with as
// many bits as it takes to round their exact value correctly.
//
// The fast side (directions.cpp) gives up only when its result lies too
// near a rounding boundary to decide; that happens about once in 5000
// calls, so speed matters little here and clarity much. No heap memory is
// used: numbers live in fixed arrays on the stack.
#pragma once

#include <cstdint>

#include "maths/double_double.hpp"

namespace textmatte::maths::precise {

// A fixed-point number of `limbs` 32-bit limbs in two's complement, least
// significant first: the top limb is the integer part, the others the
// fraction, so value = (the limbs as a signed integer) * 2^(-32 * (limbs - 1)).
// Every function takes numbers of 1 to kMaxLimbs limbs, and the two
// operands of add, subtract and multiply have the same number of limbs.
struct Fixed {
    static constexpr int kMaxLimbs = 42; // 40 and the two guard limbs of pi()
    int limbs = 0;
    std::uint32_t limb[kMaxLimbs] = {};
};

int fraction_bits(int limbs);

Fixed from_int(int v, int limbs);
// x with |x| < 2^31; exact when x's last bit lies within the fraction.
Fixed from_double(double x, int limbs);
Fixed add(const Fixed& a, const Fixed& b);
Fixed subtract(const Fixed& a, const Fixed& b);
Fixed negate(const Fixed& a);
bool is_negative(const Fixed& a);
// Products and quotients are truncated: each is off by less than one unit
// of the last fraction bit (plus the error of its operands). A product
// stays below 2^31 in magnitude; c of divide is not 0.
Fixed multiply(const Fixed& a, const Fixed& b);
Fixed multiply(const Fixed& a, std::uint32_t c);
Fixed divide(const Fixed& a, std::uint32_t c);
Fixed shift_left(const Fixed& a, int bits);
Fixed shift_right(const Fixed& a, int bits);
// 1/a for a in [1, 4], and the square root of a in [1, 4]; off by a few units.
Fixed reciprocal(const Fixed& a);
Fixed square_root(const Fixed& a);
// The quotient of two positive finite doubles, truncated; below 2^31.
Fixed quotient(double numerator, double denominator, int limbs);
// pi, off by less than 2^12 units of the last bit; limbs at most
// Fixed::kMaxLimbs - 2. Safe to call from several threads.
Fixed pi(int limbs);

// a rounded to the nearest double, ties to even.
double round_to_double(const Fixed& a);
// hi + lo nearest to a: hi = round(a), lo = round(a - hi).
DoubleDouble round_to_double_double(const Fixed& a);

// Correctly rounded results. atan2 takes finite, non-zero x and y whose
// quotient min/max lies between 2^-62 and 1, sine and cosine finite
// arguments of magnitude 2^-30 to 4.
double atan2(double y, double x);
double sin(double x);
double cos(double x);

// atan(y / x) for positive x and y with y / x below 2^-60, correctly
// rounded: there atan(t) lies below t by less than 2^-120 t, so the result
// is t rounded, except that a t exactly half-way between two doubles
// rounds down.
double atan_of_tiny_ratio(double y, double x);

// The values the fast side's tables hold, at `limbs` precision.
Fixed atan_value(double t, int limbs); // t in [0, 1]
Fixed sin_value(double x, int limbs);  // |x| <= 4
Fixed cos_value(double x, int limbs);  // |x| <= 4

} // namespace textmatte::maths::precise
