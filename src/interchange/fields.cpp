#include "interchange/fields.hpp"

#include <bit>
#include <cassert>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "interchange/numbers.hpp"

namespace textmatte {

namespace {

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p))
        ++p;
    return p;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool has_hex_prefix(const char* p, const char* end) {
    return end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

// Whether an out-of-range real lies above the largest double (rather than
// below the smallest): its decimal (or binary, for hex) magnitude decides.
bool magnitude_is_large(const char* p, const char* end, bool hex) {
    long digits_before_point = 0;
    long zeros_after_point = 0;
    bool seen_nonzero = false;
    bool after_point = false;
    for (; p < end; ++p) {
        if (*p == '.') {
            after_point = true;
            continue;
        }
        if ((hex ? hex_value(*p) : (is_digit(*p) ? *p - '0' : -1)) < 0) break;
        if (*p != '0') seen_nonzero = true;
        if (!after_point && seen_nonzero) ++digits_before_point;
        if (after_point && !seen_nonzero) ++zeros_after_point;
    }
    long exponent = 0;
    if (p < end && (hex ? (*p == 'p' || *p == 'P') : (*p == 'e' || *p == 'E'))) {
        const char* q = p + 1;
        bool negative = false;
        if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
        for (; q < end && is_digit(*q); ++q)
            if (exponent < 100000000) exponent = exponent * 10 + (*q - '0');
        if (negative) exponent = -exponent;
    }
    long magnitude = (hex ? 4 : 1) * (digits_before_point - zeros_after_point) + exponent;
    return magnitude > 0;
}

const char* read_unsigned_real(const char* p, const char* end, double& value) {
    if (p >= end || *p == '-' || *p == '+') return nullptr;
    double v = 0.0;
    if (has_hex_prefix(p, end)) {
        auto r = std::from_chars(p + 2, end, v, std::chars_format::hex);
        if (r.ptr != p + 2 && (r.ec == std::errc() || r.ec == std::errc::result_out_of_range)) {
            if (r.ec == std::errc::result_out_of_range)
                v = magnitude_is_large(p + 2, r.ptr, true) ? std::numeric_limits<double>::infinity()
                                                           : 0.0;
            value = v;
            return r.ptr;
        }
        // "0x" without hex digits: only the zero is a number.
    }
    auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ptr == p) return nullptr;
    if (r.ec == std::errc::result_out_of_range)
        v = magnitude_is_large(p, r.ptr, false) ? std::numeric_limits<double>::infinity() : 0.0;
    else if (r.ec != std::errc())
        return nullptr;
    value = v;
    return r.ptr;
}

constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPow10 = 22;
constexpr int kMaxDigits = 19; // below 10^19 < 2^64

// Up to 8 digits from the eight bytes at p (little-endian machines): how
// many lead the bytes, and their value.
inline int digits_in_eight(const char* p, std::uint64_t& value) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, 8);
    const std::uint64_t digits = bytes - 0x3030303030303030u;
    // The high bit of each byte that is no digit ('0' to '9'); a borrow or
    // carry only ever reaches bytes after the first such.
    const std::uint64_t others = (digits | (bytes + 0x4646464646464646u)) & 0x8080808080808080u;
    const int count = others ? std::countr_zero(others) / 8 : 8;
    if (count == 0) {
        value = 0;
        return 0;
    }
    // The digits moved up to end at the top byte, zeros before them, then
    // combined in pairs, fours and the eight.
    std::uint64_t d = digits << (8 * (8 - count));
    d = d * 10 + (d >> 8);
    d = (((d & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((d >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    value = d;
    return count;
}

// The leading digits at p, at most 8: their count, and their value added
// to m. Eight bytes at a time where the line has them, byte by byte
// elsewhere; the result is the same.
int take_eight_digits(const char*& p, const char* end, std::uint64_t& m) {
    if constexpr (std::endian::native == std::endian::little) {
        if (end - p >= 8) {
            std::uint64_t value;
            const int count = digits_in_eight(p, value);
            m = m * kPow10Int[count] + value;
            p += count;
            return count;
        }
    }
    int count = 0;
    for (; count < 8 && p < end && is_digit(*p); ++count)
        m = m * 10 + static_cast<unsigned>(*p++ - '0');
    return count;
}

// All leading digits at p; their count. m may wrap when there are more
// than 19, which the caller checks.
long take_digits(const char*& p, const char* end, std::uint64_t& m) {
    long count = 0;
    for (int n; (n = take_eight_digits(p, end, m)) > 0;) {
        count += n;
        if (n < 8) break;
    }
    return count;
}

// The most common form of all, up to 7 digits, a point and up to 7
// digits, with 16 bytes of the line to read from: two loads, no loop.
// nullptr for anything else.
const char* read_common_decimal(const char* p, const char* end, double& value) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    if (end - p < 16) return nullptr;
    std::uint64_t whole, fraction;
    const int whole_digits = digits_in_eight(p, whole);
    if (whole_digits == 8 || p[whole_digits] != '.') return nullptr;
    const int decimals = digits_in_eight(p + whole_digits + 1, fraction);
    const char* after = p + whole_digits + 1 + decimals;
    if (decimals == 8 || whole_digits + decimals == 0) return nullptr;
    if (*after == 'e' || *after == 'E') return nullptr;
    const double m = static_cast<double>(whole * kPow10Int[decimals] + fraction); // < 10^14
    value = m / kExactPow10[decimals];
    return after;
}

// The common short form, digits with an optional point: when the digits
// make an integer m <= 2^53 and the point a power of ten 10^k with
// k <= 22, both are exact doubles and one division rounds correctly.
// Returns nullptr for everything else (and for text that is no number),
// which the general reader then decides.
const char* read_short_decimal(const char* p, const char* end, double& value) {
    std::uint64_t m = 0;
    const long whole = take_digits(p, end, m);
    long decimals = 0;
    if (p < end && *p == '.') {
        ++p;
        decimals = take_digits(p, end, m);
    }
    if (whole + decimals == 0 || whole + decimals > kMaxDigits) return nullptr; // m may wrap
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X')) return nullptr;
    if (m > (std::uint64_t{1} << 53) || decimals > kMaxExactPow10) return nullptr;
    const double d = static_cast<double>(m);
    value = decimals == 0 ? d : d / kExactPow10[decimals];
    return p;
}

} // namespace

const char* read_real(const char* p, const char* end, double& value) {
    p = skip_space(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    double v;
    const char* after = read_common_decimal(p, end, v);
    if (!after) after = read_short_decimal(p, end, v);
    if (!after) after = read_unsigned_real(p, end, v);
    if (!after) return nullptr;
    value = negative ? -v : v;
    return after;
}

const char* read_decimal(const char* p, const char* end, int& value) {
    p = skip_space(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end || !is_digit(*p)) return nullptr;
    constexpr std::int64_t kCap = std::int64_t{INT_MAX} + 2; // beyond either limit
    std::int64_t magnitude = 0;
    for (; p < end && is_digit(*p); ++p)
        if (magnitude < kCap) magnitude = magnitude * 10 + (*p - '0');
    if (negative)
        value = magnitude > -std::int64_t{INT_MIN} ? INT_MIN : static_cast<int>(-magnitude);
    else
        value = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    return p;
}

const char* read_hex(const char* p, const char* end, int& value) {
    p = skip_space(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (has_hex_prefix(p, end) && end - p > 2 && hex_value(p[2]) >= 0) p += 2;
    if (p >= end || hex_value(*p) < 0) return nullptr;
    std::uint64_t magnitude = 0;
    bool saturated = false;
    for (int digit; p < end && (digit = hex_value(*p)) >= 0; ++p) {
        magnitude = magnitude * 16 + static_cast<unsigned>(digit);
        if (magnitude > 0xffffffffULL) {
            saturated = true;
            magnitude = 0xffffffffULL;
        }
    }
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative && !saturated) bits = 0u - bits;
    value = std::bit_cast<int>(bits); // two's complement pattern
    return p;
}

bool FieldReader::rest(std::span<char> out) {
    assert(!out.empty()); // room for the terminator at least
    if (!usable_) return false;
    const std::size_t capacity = out.size() - 1;
    std::size_t n = static_cast<std::size_t>(end_ - next_);
    if (n > capacity) n = capacity;
    if (n > 0) std::memcpy(out.data(), next_, n);
    out[n] = '\0';
    next_ += n;
    return true;
}

} // namespace textmatte
