// Numbers as the interchange file spells them, written by the program
// itself so that every platform writes the same bytes.
#pragma once

#include <cstddef>

namespace textmatte {

// Most decimals a fixed-point number may be written with.
constexpr int kMaxPrecision = 40;
// Longest fixed-point text: sign, 309 integer digits, point, decimals.
constexpr std::size_t kFixedMaxLength = 1 + 309 + 1 + kMaxPrecision;
// Longest integer text: a sign and ten digits, or eight hexadecimal digits.
constexpr std::size_t kIntegerMaxLength = 11;

// Writes v in fixed-point notation with `precision` decimals (clamped to
// 0..kMaxPrecision), rounded to nearest with ties to even on the exact
// binary value, as glibc's printf does; "inf", "-inf" and "nan" for values
// that are not finite. Returns the end of the text; no terminator.
// Values below 2^63 with up to 18 decimals, the ones records hold, take a
// fast path of 64-bit integer arithmetic that is the same on 32-bit builds.
char* format_fixed(char* out, double v, int precision);

// Signed decimal ("%d"), unsigned decimal ("%u") and lower-case hexadecimal
// of the value's bits with at least `min_digits` digits ("%x", "%06x").
char* format_decimal(char* out, int v);
char* format_unsigned(char* out, unsigned v);
char* format_hex(char* out, unsigned v, int min_digits);

} // namespace textmatte
