#include "interchange/numbers.hpp"

#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>

namespace textmatte {

namespace {

template <int... P>
char* format_fast_at(char* out, double v, int precision, std::integer_sequence<int, P...>) {
    char* p = out;
    const bool done = ((precision == P && numbers_detail::format_fast<P>(p, v)) || ...);
    return done ? p : nullptr;
}

} // namespace

char* format_fixed(char* out, double v, int precision) {
    assert(precision >= 0 && precision <= kMaxPrecision);
    if (precision < 0) precision = 0;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    if (char* end = format_fast_at(
            out, v, precision,
            std::make_integer_sequence<int, numbers_detail::kFastMaxPrecision + 1>()))
        return end;
    return std::to_chars(out, out + kFixedMaxLength, v, std::chars_format::fixed, precision).ptr;
}

char* numbers_detail::put_large_integer(char* out, std::uint64_t v) {
    return std::to_chars(out, out + 20, v).ptr;
}

char* format_decimal(char* out, int v) {
    return std::to_chars(out, out + kIntegerMaxLength, v).ptr;
}

char* format_unsigned(char* out, unsigned v) {
    return std::to_chars(out, out + kIntegerMaxLength, v).ptr;
}

char* format_hex(char* out, unsigned v, int min_digits) {
    assert(min_digits >= 1 && min_digits <= kHexMaxDigits);
    char digits[kHexMaxDigits];
    char* end = std::to_chars(digits, digits + sizeof digits, v, 16).ptr;
    const int n = static_cast<int>(end - digits);
    for (int i = n; i < min_digits; ++i)
        *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(n));
    return out + n;
}

} // namespace textmatte
