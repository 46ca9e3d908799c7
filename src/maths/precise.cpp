#include "maths/precise.hpp"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "maths/tables.hpp"

namespace textmatte::maths::precise {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

Fixed zero(int limbs) {
    assert(limbs >= 1 && limbs <= Fixed::kMaxLimbs);
    Fixed f;
    f.limbs = limbs;
    return f;
}

bool is_zero(const Fixed& a) {
    for (int i = 0; i < a.limbs; ++i)
        if (a.limb[i] != 0) return false;
    return true;
}

Fixed magnitude(const Fixed& a) {
    return is_negative(a) ? negate(a) : a;
}

Fixed with_sign(const Fixed& magnitude, bool negative) {
    return negative ? negate(magnitude) : magnitude;
}

// ORs `bits` into a, its lowest bit at position `at` (0 is the lowest bit
// of limb 0); bits below position 0 are dropped.
void place(Fixed& a, u64 bits, int at) {
    if (at < 0) {
        if (at <= -64) return;
        bits >>= -at;
        at = 0;
    }
    for (int chunk = 0; chunk < 2; ++chunk) {
        const u32 part = static_cast<u32>(bits >> (32 * chunk));
        const int position = at + 32 * chunk;
        const int index = position / 32, offset = position % 32;
        if (index < a.limbs) a.limb[index] |= part << offset;
        if (offset != 0 && index + 1 < a.limbs) a.limb[index + 1] |= part >> (32 - offset);
    }
}

bool bit(const Fixed& a, int position) {
    return (a.limb[position / 32] >> (position % 32)) & 1u;
}

// Position of the highest set bit of a non-negative a; -1 for zero.
int top_bit(const Fixed& a) {
    for (int i = a.limbs - 1; i >= 0; --i)
        if (a.limb[i] != 0) {
            int b = 31;
            while (!((a.limb[i] >> b) & 1u))
                --b;
            return 32 * i + b;
        }
    return -1;
}

// A positive double as m * 2^e with m an integer of exactly 53 bits.
void decompose(double x, u64& m, int& e) {
    int exponent;
    const double fraction = std::frexp(x, &exponent); // x = fraction * 2^exponent
    m = static_cast<u64>(std::ldexp(fraction, 53));
    e = exponent - 53;
}

// The error bound of a result: every evaluation below stays within 2^24
// units of its last bit (the largest, atan after its halvings, within
// about 2^15), so this leaves a wide margin.
constexpr int kErrorBits = 24;

// Precisions tried in turn, in limbs: 224, 352, 608 and 1248 fraction bits.
constexpr int kPrecisions[] = {8, 12, 20, 40};
static_assert(std::size(kPrecisions) == 4, "pi() keeps pi at each of them");

// pi is computed with this many limbs more than asked for.
constexpr int kPiGuardLimbs = 2;
static_assert(kPrecisions[3] + kPiGuardLimbs <= Fixed::kMaxLimbs);

Fixed error_bound(int limbs) {
    Fixed e = zero(limbs);
    place(e, 1, kErrorBits);
    return e;
}

// The result of `evaluate` at rising precision until the interval of its
// error bound rounds to one double. The exact values of the functions here
// (at the arguments they are given) are never on a rounding boundary, so
// the loop ends; the last line is a guard that is never reached.
template <class Evaluate> double correctly_rounded(Evaluate evaluate) {
    for (int limbs : kPrecisions) {
        const Fixed v = evaluate(limbs);
        const Fixed e = error_bound(limbs);
        const double low = round_to_double(subtract(v, e));
        if (low == round_to_double(add(v, e))) return low;
    }
    return round_to_double(evaluate(kPrecisions[3]));
}

// atan(t) for 0 <= t <= 1: a few halvings, atan(t) = 2 atan(t / (1 +
// sqrt(1 + t^2))), then the Taylor series.
Fixed atan_fixed(Fixed t) {
    const int n = t.limbs;
    const Fixed one = from_int(1, n);
    const int halvings = n <= 8 ? 3 : n <= 20 ? 5 : 7;
    for (int h = 0; h < halvings; ++h) {
        const Fixed root = square_root(add(one, multiply(t, t)));
        t = multiply(t, reciprocal(add(one, root)));
    }
    const Fixed t2 = multiply(t, t);
    Fixed sum = t, term = t;
    for (u32 i = 1;; ++i) {
        term = multiply(term, t2);
        if (is_zero(term)) break;
        const Fixed part = divide(term, 2 * i + 1);
        sum = i % 2 ? subtract(sum, part) : add(sum, part);
    }
    return shift_left(sum, halvings);
}

// x - k pi/2 with k the nearest integer to x 2/pi; returns k.
int reduce(double x, int limbs, Fixed& r) {
    const int k = static_cast<int>(std::floor(x * tables::kTwoOverPi + 0.5));
    const Fixed half_pi = shift_right(pi(limbs), 1);
    const Fixed multiple = multiply(half_pi, static_cast<u32>(k < 0 ? -k : k));
    const Fixed xf = from_double(x, limbs);
    r = k < 0 ? add(xf, multiple) : subtract(xf, multiple);
    return k;
}

Fixed sin_series(const Fixed& r) {
    const Fixed r2 = multiply(r, r);
    Fixed sum = r, term = r;
    for (u32 i = 1;; ++i) {
        term = divide(multiply(term, r2), (2 * i) * (2 * i + 1));
        if (is_zero(term)) break;
        sum = i % 2 ? subtract(sum, term) : add(sum, term);
    }
    return sum;
}

Fixed cos_series(const Fixed& r) {
    const Fixed r2 = multiply(r, r);
    Fixed sum = from_int(1, r.limbs), term = sum;
    for (u32 i = 1;; ++i) {
        term = divide(multiply(term, r2), (2 * i - 1) * (2 * i));
        if (is_zero(term)) break;
        sum = i % 2 ? subtract(sum, term) : add(sum, term);
    }
    return sum;
}

// atan(1/k) as the alternating series of 1/((2i+1) k^(2i+1)).
Fixed atan_of_inverse(u32 k, int limbs) {
    Fixed power = divide(from_int(1, limbs), k);
    Fixed sum = power;
    for (u32 i = 1;; ++i) {
        power = divide(power, k * k);
        if (is_zero(power)) break;
        const Fixed part = divide(power, 2 * i + 1);
        sum = i % 2 ? subtract(sum, part) : add(sum, part);
    }
    return sum;
}

// Machin: pi = 16 atan(1/5) - 4 atan(1/239), with guard limbs.
Fixed machin_pi(int limbs) {
    const int wide = limbs + kPiGuardLimbs;
    const Fixed p =
        subtract(multiply(atan_of_inverse(5, wide), 16u), multiply(atan_of_inverse(239, wide), 4u));
    Fixed r = zero(limbs);
    for (int i = 0; i < limbs; ++i)
        r.limb[i] = p.limb[i + kPiGuardLimbs];
    return r;
}

// pi at one of the precisions the evaluations use, computed on first use.
// The language initialises a function-local static exactly once, also when
// threads call in together.
template <int Limbs> const Fixed& pi_once() {
    static const Fixed value = machin_pi(Limbs);
    return value;
}

} // namespace

int fraction_bits(int limbs) {
    return 32 * (limbs - 1);
}

Fixed from_int(int v, int limbs) {
    Fixed f = zero(limbs);
    f.limb[limbs - 1] = static_cast<u32>(v); // the fraction limbs of an integer are 0
    return f;
}

Fixed from_double(double x, int limbs) {
    assert(std::fabs(x) < 0x1p31); // the integer part fits the top limb
    Fixed f = zero(limbs);
    if (x == 0.0) return f;
    u64 m;
    int e;
    decompose(std::fabs(x), m, e);
    place(f, m, e + fraction_bits(limbs));
    return with_sign(f, x < 0);
}

Fixed add(const Fixed& a, const Fixed& b) {
    assert(a.limbs == b.limbs);
    Fixed r = zero(a.limbs);
    u64 carry = 0;
    for (int i = 0; i < a.limbs; ++i) {
        const u64 s = u64{a.limb[i]} + b.limb[i] + carry;
        r.limb[i] = static_cast<u32>(s);
        carry = s >> 32;
    }
    return r;
}

Fixed subtract(const Fixed& a, const Fixed& b) {
    return add(a, negate(b));
}

Fixed negate(const Fixed& a) {
    Fixed r = zero(a.limbs);
    u64 carry = 1;
    for (int i = 0; i < a.limbs; ++i) {
        const u64 s = u64{static_cast<u32>(~a.limb[i])} + carry;
        r.limb[i] = static_cast<u32>(s);
        carry = s >> 32;
    }
    return r;
}

bool is_negative(const Fixed& a) {
    return (a.limb[a.limbs - 1] >> 31) != 0;
}

Fixed multiply(const Fixed& a, const Fixed& b) {
    assert(a.limbs == b.limbs);
    const int n = a.limbs;
    const Fixed x = magnitude(a), y = magnitude(b);
    u32 product[2 * Fixed::kMaxLimbs] = {};
    for (int i = 0; i < n; ++i) {
        u64 carry = 0;
        for (int j = 0; j < n; ++j) {
            const u64 t = u64{x.limb[i]} * y.limb[j] + product[i + j] + carry;
            product[i + j] = static_cast<u32>(t);
            carry = t >> 32;
        }
        product[i + n] = static_cast<u32>(carry);
    }
    Fixed r = zero(n);
    for (int i = 0; i < n; ++i)
        r.limb[i] = product[i + n - 1];
    assert(product[2 * n - 1] == 0 && !is_negative(r)); // the product fits
    return with_sign(r, is_negative(a) != is_negative(b));
}

Fixed multiply(const Fixed& a, u32 c) {
    const Fixed x = magnitude(a);
    Fixed r = zero(a.limbs);
    u64 carry = 0;
    for (int i = 0; i < a.limbs; ++i) {
        const u64 t = u64{x.limb[i]} * c + carry;
        r.limb[i] = static_cast<u32>(t);
        carry = t >> 32;
    }
    assert(carry == 0 && !is_negative(r)); // the product fits
    return with_sign(r, is_negative(a));
}

Fixed divide(const Fixed& a, u32 c) {
    assert(c != 0);
    const Fixed x = magnitude(a);
    Fixed r = zero(a.limbs);
    u64 remainder = 0;
    for (int i = a.limbs - 1; i >= 0; --i) {
        const u64 current = (remainder << 32) | x.limb[i];
        r.limb[i] = static_cast<u32>(current / c);
        remainder = current % c;
    }
    return with_sign(r, is_negative(a));
}

Fixed shift_left(const Fixed& a, int bits) {
    const Fixed x = magnitude(a);
    Fixed r = zero(a.limbs);
    for (int i = a.limbs - 1; i >= 0; --i) {
        const int from = 32 * i - bits; // bit position that lands at limb i's bit 0
        u64 window = 0;
        for (int k = 0; k < 2; ++k) {
            const int index = (from >= 0 ? from / 32 : (from - 31) / 32) + k;
            if (index >= 0 && index < a.limbs) window |= u64{x.limb[index]} << (32 * k);
        }
        const int offset = ((from % 32) + 32) % 32;
        r.limb[i] = static_cast<u32>(window >> offset);
    }
    return with_sign(r, is_negative(a));
}

Fixed shift_right(const Fixed& a, int bits) {
    return shift_left(a, -bits);
}

Fixed reciprocal(const Fixed& a) {
    const int n = a.limbs;
    const Fixed one = from_int(1, n);
    const double approximation = round_to_double(a);
    assert(approximation >= 1.0 && approximation <= 4.0);
    Fixed y = from_double(1.0 / approximation, n);
    for (int good = 50; good < fraction_bits(n) + 8; good *= 2)
        y = add(y, multiply(y, subtract(one, multiply(a, y)))); // y += y (1 - a y)
    return y;
}

Fixed square_root(const Fixed& a) {
    const int n = a.limbs;
    const Fixed one = from_int(1, n);
    const double approximation = round_to_double(a);
    assert(approximation >= 1.0 && approximation <= 4.0);
    Fixed y = from_double(1.0 / std::sqrt(approximation), n); // 1 / sqrt(a)
    for (int good = 50; good < fraction_bits(n) + 8; good *= 2) {
        const Fixed h = subtract(one, multiply(a, multiply(y, y)));
        y = add(y, shift_right(multiply(y, h), 1)); // y += y (1 - a y^2) / 2
    }
    return multiply(a, y);
}

// Long division, one bit at a time: slow, simple and exact.
Fixed quotient(double numerator, double denominator, int limbs) {
    assert(numerator > 0.0 && denominator > 0.0);
    assert(std::isfinite(numerator) && std::isfinite(denominator));
    u64 nm, dm;
    int ne, de;
    decompose(numerator, nm, ne);
    decompose(denominator, dm, de);
    const int highest = ne - de + fraction_bits(limbs); // position of the quotient's bit for 1
    assert(highest < 32 * limbs - 1);                   // the quotient is below 2^31
    Fixed q = zero(limbs);
    u64 remainder = nm;
    for (int position = highest; position >= 0; --position) {
        if (remainder >= dm) {
            remainder -= dm;
            if (position < 32 * limbs) place(q, 1, position);
        }
        remainder <<= 1;
    }
    return q;
}

Fixed pi(int limbs) {
    assert(limbs >= 1 && limbs + kPiGuardLimbs <= Fixed::kMaxLimbs);
    switch (limbs) {
    case kPrecisions[0]: return pi_once<kPrecisions[0]>();
    case kPrecisions[1]: return pi_once<kPrecisions[1]>();
    case kPrecisions[2]: return pi_once<kPrecisions[2]>();
    case kPrecisions[3]: return pi_once<kPrecisions[3]>();
    default: return machin_pi(limbs);
    }
}

double round_to_double(const Fixed& a) {
    const bool negative = is_negative(a);
    const Fixed x = magnitude(a);
    const int top = top_bit(x);
    if (top < 0) return negative ? -0.0 : 0.0;
    const int exponent = top - fraction_bits(a.limbs); // x in [2^exponent, 2^(exponent+1))
    // Bits kept: 53, fewer for a subnormal result.
    int keep = 53;
    if (exponent < -1022) keep = 53 - (-1022 - exponent);
    if (keep < 0) return negative ? -0.0 : 0.0;
    u64 kept = 0;
    for (int i = 0; i < keep; ++i)
        kept = (kept << 1) | (bit(x, top - i) ? 1u : 0u);
    const int round_at = top - keep;
    const bool round_bit = round_at >= 0 && bit(x, round_at);
    bool sticky = false;
    for (int i = round_at - 1; i >= 0 && !sticky; --i)
        sticky = bit(x, i);
    if (round_bit && (sticky || (kept & 1u))) ++kept;
    const double r = std::ldexp(static_cast<double>(kept), exponent - keep + 1);
    return negative ? -r : r;
}

DoubleDouble round_to_double_double(const Fixed& a) {
    const double hi = round_to_double(a);
    return {hi, round_to_double(subtract(a, from_double(hi, a.limbs)))};
}

Fixed atan_value(double t, int limbs) {
    assert(t >= 0.0 && t <= 1.0);
    return atan_fixed(from_double(t, limbs));
}

Fixed sin_value(double x, int limbs) {
    assert(std::fabs(x) <= 4.0);
    Fixed r;
    switch (reduce(x, limbs, r) & 3) {
    case 0: return sin_series(r);
    case 1: return cos_series(r);
    case 2: return negate(sin_series(r));
    default: return negate(cos_series(r));
    }
}

Fixed cos_value(double x, int limbs) {
    assert(std::fabs(x) <= 4.0);
    Fixed r;
    switch (reduce(x, limbs, r) & 3) {
    case 0: return cos_series(r);
    case 1: return negate(sin_series(r));
    case 2: return negate(cos_series(r));
    default: return sin_series(r);
    }
}

double atan2(double y, double x) {
    const double ay = std::fabs(y), ax = std::fabs(x);
    const bool swapped = ay > ax;
    assert(std::isfinite(ax) && std::isfinite(ay) && ax != 0.0 && ay != 0.0);
    assert(std::ilogb(swapped ? ax : ay) - std::ilogb(swapped ? ay : ax) >= -61); // >= 2^-62
    return correctly_rounded([&](int limbs) {
        Fixed v = atan_fixed(swapped ? quotient(ax, ay, limbs) : quotient(ay, ax, limbs));
        if (swapped) v = subtract(shift_right(pi(limbs), 1), v);
        if (x < 0) v = subtract(pi(limbs), v);
        return y < 0 ? negate(v) : v;
    });
}

double sin(double x) {
    assert(std::fabs(x) >= 0x1p-30 && std::fabs(x) <= 4.0);
    return correctly_rounded([x](int limbs) { return sin_value(x, limbs); });
}

double cos(double x) {
    assert(std::fabs(x) >= 0x1p-30 && std::fabs(x) <= 4.0);
    return correctly_rounded([x](int limbs) { return cos_value(x, limbs); });
}

double atan_of_tiny_ratio(double y, double x) {
    assert(x > 0.0 && y > 0.0 && std::isfinite(x));
    u64 ym, xm;
    int ye, xe;
    decompose(y, ym, ye);
    decompose(x, xm, xe);
    // 64 quotient bits of ym / xm, the first of them set, and the remainder.
    u64 q = 0, remainder = ym;
    int shift = 0; // q = floor(ym 2^shift / xm)
    if (remainder >= xm) {
        q = 1;
        remainder -= xm;
    }
    while (q < (u64{1} << 63)) {
        remainder <<= 1;
        q <<= 1;
        if (remainder >= xm) {
            remainder -= xm;
            q |= 1;
        }
        ++shift;
    }
    // t = (q + remainder / xm) 2^(ye - xe - shift), its top bit at `exponent`.
    const int exponent = ye - xe - shift + 63;
    assert(exponent < -60); // t < 2^-60
    int keep = 53;
    if (exponent < -1022) keep = 53 - (-1022 - exponent);
    if (keep < 0) return 0.0;
    const u64 kept = keep == 0 ? 0 : q >> (64 - keep);
    const bool round_bit = ((q >> (63 - keep)) & 1u) != 0;
    const bool rest = (q & ((u64{1} << (63 - keep)) - 1)) != 0 || remainder != 0;
    // atan(t) lies just below t: a t exactly half-way rounds down, any other
    // rounds as t does (no t is within 2^-106 t of a boundary but on it).
    const u64 rounded = kept + (round_bit && rest ? 1u : 0u);
    return std::ldexp(static_cast<double>(rounded), exponent - keep + 1);
}

} // namespace textmatte::maths::precise
