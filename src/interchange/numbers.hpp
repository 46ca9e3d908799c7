// Numbers as the interchange file spells them, written by the program
// itself so that every platform writes the same bytes; and the decimal
// digits that the field readers and the formats read as well.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace textmatte {

// A decimal digit, '0' to '9'.
constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// 10^0 to 10^8: the factors that move up to eight decimal digits into place.
inline constexpr std::uint32_t kPow10Int[] = {1,      10,      100,      1000,     10000,
                                              100000, 1000000, 10000000, 100000000};

// Most decimals a fixed-point number may be written with.
constexpr int kMaxPrecision = 40;
// Longest fixed-point text: sign, 309 integer digits, point, decimals.
constexpr std::size_t kFixedMaxLength = 1 + 309 + 1 + kMaxPrecision;
// Longest integer text: a sign and ten digits.
constexpr std::size_t kIntegerMaxLength = 11;
// Most hexadecimal digits of a 32-bit value, and so the widest "%0Nx".
constexpr int kHexMaxDigits = 8;

// Writes v in fixed-point notation with `precision` decimals (0 to
// kMaxPrecision; asserted, and clamped where asserts are off), rounded to
// nearest with ties to even on the exact binary value, as glibc's printf
// does; "inf", "-inf", "nan" and "-nan" (a NaN with its sign bit set) for
// values that are not finite. Returns the end of the text; no terminator.
char* format_fixed(char* out, double v, int precision);

// The same with the precision known when compiling, as in every record:
// with up to 15 decimals, values from 2^-12 up to 2^63, and those whose
// whole binade lies below half a unit of the last decimal (they round to
// 0), take a path of exact integer arithmetic in 32-bit multiplications,
// inlined, the same on 32-bit builds; the rest goes to the standard
// library's exact formatting.
template <int P> char* format_fixed(char* out, double v);

// Signed decimal ("%d"), unsigned decimal ("%u") and lower-case hexadecimal
// of the value's bits with at least `min_digits` digits, 1 to kHexMaxDigits
// ("%x", "%06x").
char* format_decimal(char* out, int v);
char* format_unsigned(char* out, unsigned v);
char* format_hex(char* out, unsigned v, int min_digits);

namespace numbers_detail {

inline constexpr int kFastMaxPrecision = 15;

// The four digits of every number below 10^4, and four bytes to spare so
// a copy of four bytes from any digit of the table stays inside it.
struct DigitQuads {
    char digits[4 * 10000 + 4];
    constexpr DigitQuads() : digits{} {
        for (int v = 0; v < 10000; ++v) {
            digits[4 * v] = static_cast<char>('0' + v / 1000);
            digits[4 * v + 1] = static_cast<char>('0' + v / 100 % 10);
            digits[4 * v + 2] = static_cast<char>('0' + v / 10 % 10);
            digits[4 * v + 3] = static_cast<char>('0' + v % 10);
        }
    }
};
inline constexpr DigitQuads kQuads{};

inline void put_four(char* out, std::uint32_t v) {
    assert(v < 10000);
    std::memcpy(out, kQuads.digits + 4 * v, 4);
}

// Exactly N digits of v < 10^N (N <= 8), zero-filled on the left.
template <int N> inline void put_digits(char* out, std::uint32_t v) {
    if constexpr (N > 4) {
        const std::uint32_t high = v / 10000;
        put_four(out + N - 4, v - high * 10000);
        put_digits<N - 4>(out, high);
    } else if constexpr (N > 0) {
        assert(v < kPow10Int[N]);
        std::memcpy(out, kQuads.digits + 4 * v + (4 - N), N);
    }
}

// v below 10^4 in decimal, no leading zeros. Four bytes are written, the
// digits first; the end of the digits is returned.
inline char* put_short_integer(char* out, std::uint32_t v) {
    assert(v < 10000);
    const int n = v < 100 ? (v < 10 ? 1 : 2) : (v < 1000 ? 3 : 4);
    std::memcpy(out, kQuads.digits + 4 * v + (4 - n), 4);
    return out + n;
}

// v in decimal, no leading zeros.
inline char* put_integer(char* out, std::uint32_t v) {
    if (v < 10000) return put_short_integer(out, v);
    const std::uint32_t high = v / 10000; // below 429497
    out = high < 10000 ? put_short_integer(out, high) : put_integer(out, high);
    put_four(out, v - high * 10000);
    return out + 4;
}

// v in decimal, for the rare integer parts of 2^32 and more.
char* put_large_integer(char* out, std::uint64_t v);

// The top 32 bits of f * c (for c < 2^32, a 96-bit product) are returned
// and f keeps the low 64: one step of reading decimal digits off a binary
// fraction. Two 32-bit multiplications, the same on 32-bit builds.
inline std::uint32_t shift_out(std::uint64_t& f, std::uint32_t c) {
    const std::uint64_t low = (f & 0xffffffffu) * c;
    const std::uint64_t high = (f >> 32) * c;
    const std::uint64_t sum = low + (high << 32);
    f = sum;
    return static_cast<std::uint32_t>(high >> 32) + (sum < low ? 1u : 0u);
}

// |v| = i + f/2^64 exactly, for |v| below 2^63 whose fraction has at most
// 64 bits (|v| >= 2^-12, or 0): then the decimals come off f exactly, up
// to 8 at a time, and what remains of f decides the rounding, half to even.
template <int P> inline bool format_fast(char*& out, double v) {
    static_assert(P >= 0 && P <= kFastMaxPrecision);
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    std::uint64_t integer = 0, f = 0;
    // Below 2^(53 - s) <= 10^-P / 2, |v| rounds to 0 at this precision.
    constexpr int kZeroFrom = 54 + (P * 33220 + 9999) / 10000; // 3.3220 > log2(10)
    if (biased != 0) {                        // else 0, or a subnormal: 0 at every precision here
        if (biased > 1075 + 10) return false; // huge, inf, nan
        m |= std::uint64_t{1} << 52;
        const int s = 1075 - biased; // |v| = m / 2^s
        if (s >= kZeroFrom) {
            // integer and fraction stay 0
        } else if (s > 64) {
            return false;
        } else if (s <= 0) {
            integer = m << -s;
        } else if (s < 64) {
            integer = m >> s;
            f = m << (64 - s);
        } else {
            f = m;
        }
    }
    constexpr int kFirst = P < 8 ? P : 8, kSecond = P - kFirst; // kSecond <= 7
    std::uint32_t first = 0, second = 0;
    if constexpr (kFirst > 0) first = shift_out(f, kPow10Int[kFirst]);
    if constexpr (kSecond > 0) second = shift_out(f, kPow10Int[kSecond]);
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
    const std::uint64_t last = kSecond > 0 ? second : kFirst > 0 ? first : integer;
    if (f > kHalf || (f == kHalf && (last & 1u))) {
        if constexpr (kSecond > 0) {
            if (++second == kPow10Int[kSecond]) second = 0, ++first;
        } else if constexpr (kFirst > 0) {
            ++first;
        }
        if constexpr (kFirst > 0) {
            if (first == kPow10Int[kFirst]) first = 0, ++integer;
        } else {
            ++integer;
        }
    }
    char* p = out;
    if (bits >> 63) *p++ = '-';
    p = integer >> 32 ? put_large_integer(p, integer)
                      : put_integer(p, static_cast<std::uint32_t>(integer));
    if constexpr (P > 0) {
        *p++ = '.';
        put_digits<kFirst>(p, first);
        put_digits<kSecond>(p + kFirst, second);
        p += P;
    }
    out = p;
    return true;
}

} // namespace numbers_detail

template <int P> inline char* format_fixed(char* out, double v) {
    if constexpr (P <= numbers_detail::kFastMaxPrecision) {
        char* p = out;
        if (numbers_detail::format_fast<P>(p, v)) return p;
    }
    return format_fixed(out, v, P);
}

} // namespace textmatte
