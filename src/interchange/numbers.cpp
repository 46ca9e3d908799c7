#include "interchange/numbers.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace textmatte {

namespace {

constexpr char kDigitPairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

constexpr std::uint32_t kPow10[] = {1,      10,      100,      1000,      10000,
                                    100000, 1000000, 10000000, 100000000, 1000000000};
constexpr int kChunkDigits = 9; // 10^9 < 2^32
constexpr int kFastMaxPrecision = 18;

// Exactly `count` digits of v (< 10^count), zero-filled on the left.
void put_digits(char* out, std::uint32_t v, int count) {
    char* end = out + count;
    while (end - out >= 2) {
        const std::uint32_t rest = v / 100;
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (v - rest * 100), 2);
        v = rest;
    }
    if (end > out) *--end = static_cast<char>('0' + v);
}

int digit_count(std::uint32_t v) {
    int n = 1;
    while (n < 10 && v >= kPow10[n])
        ++n;
    return n;
}

// v in decimal; the 64-bit division only runs for values of 2^32 or more.
char* put_integer(char* out, std::uint64_t v) {
    if ((v >> 32) == 0) {
        const auto small = static_cast<std::uint32_t>(v);
        const int n = digit_count(small);
        put_digits(out, small, n);
        return out + n;
    }
    const std::uint64_t high = v / kPow10[kChunkDigits];
    out = put_integer(out, high);
    put_digits(out, static_cast<std::uint32_t>(v - high * kPow10[kChunkDigits]), kChunkDigits);
    return out + kChunkDigits;
}

// A 96-bit product: v * c for c < 2^32, in 32-bit multiplications.
struct Product {
    std::uint32_t high;
    std::uint64_t low;
};

Product multiply(std::uint64_t v, std::uint32_t c) {
    const std::uint64_t low_half = (v & 0xffffffffu) * c;
    const std::uint64_t high_half = (v >> 32) * c;
    const std::uint64_t low = low_half + (high_half << 32);
    const std::uint32_t carry = low < low_half ? 1u : 0u;
    return {static_cast<std::uint32_t>(high_half >> 32) + carry, low};
}

// The fraction of a value as a binary fixed-point number below 1, exact:
// `high` holds its first 64 bits and `low` the next 64.
struct Fraction {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    // Multiplies by c < 2^32 and returns the integer part that comes out.
    std::uint32_t times(std::uint32_t c) {
        const Product l = multiply(low, c);
        const Product h = multiply(high, c);
        low = l.low;
        high = h.low + l.high;
        return h.high + (high < l.high ? 1u : 0u);
    }
    int compare_to_half() const {
        constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
        if (high != kHalf) return high < kHalf ? -1 : 1;
        return low == 0 ? 0 : 1;
    }
};

struct Decomposed {
    bool negative;
    std::uint64_t integer; // the value's integer part
    Fraction fraction;     // and its fraction
};

// Splits a finite v below 2^63 into integer part and exact fraction; false
// for larger values. Fractions finer than 2^-128 are dropped: such a value
// is below 2^-75 and rounds to zero at every fast-path precision.
bool decompose(double v, Decomposed& d) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    d.negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = -1074;
    if (biased != 0) {
        m |= std::uint64_t{1} << 52;
        e = biased - 1075;
    }
    d.fraction = {};
    if (e >= 0) {
        if (e > 10) return false;
        d.integer = m << e;
        return true;
    }
    const int s = -e; // value = m / 2^s
    if (s < 64) {
        d.integer = m >> s;
        d.fraction.high = (m & ((std::uint64_t{1} << s) - 1)) << (64 - s);
    } else if (s == 64) {
        d.integer = 0;
        d.fraction.high = m;
    } else if (s <= 128) {
        d.integer = 0;
        const int shift = 128 - s; // 0..63
        d.fraction.high = shift == 0 ? 0 : m >> (64 - shift);
        d.fraction.low = m << shift;
    } else {
        d.integer = 0;
    }
    return true;
}

bool format_fast(char*& out, double v, int precision) {
    Decomposed d;
    if (precision > kFastMaxPrecision || !decompose(v, d)) return false;
    char digits[kFastMaxPrecision];
    for (int at = 0; at < precision;) {
        const int n = precision - at < kChunkDigits ? precision - at : kChunkDigits;
        put_digits(digits + at, d.fraction.times(kPow10[n]), n);
        at += n;
    }
    const int half = d.fraction.compare_to_half();
    const bool last_odd =
        precision > 0 ? (digits[precision - 1] - '0') % 2 != 0 : d.integer % 2 != 0;
    if (half > 0 || (half == 0 && last_odd)) {
        int i = precision - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0)
            ++digits[i];
        else
            ++d.integer;
    }
    char* p = out;
    if (d.negative) *p++ = '-';
    p = put_integer(p, d.integer);
    if (precision > 0) {
        *p++ = '.';
        std::memcpy(p, digits, static_cast<std::size_t>(precision));
        p += precision;
    }
    out = p;
    return true;
}

} // namespace

char* format_fixed(char* out, double v, int precision) {
    if (precision < 0) precision = 0;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    char* fast = out;
    if (format_fast(fast, v, precision)) return fast;
    return std::to_chars(out, out + kFixedMaxLength, v, std::chars_format::fixed, precision).ptr;
}

char* format_decimal(char* out, int v) {
    return std::to_chars(out, out + kIntegerMaxLength, v).ptr;
}

char* format_unsigned(char* out, unsigned v) {
    return std::to_chars(out, out + kIntegerMaxLength, v).ptr;
}

char* format_hex(char* out, unsigned v, int min_digits) {
    char digits[8];
    char* end = std::to_chars(digits, digits + sizeof digits, v, 16).ptr;
    const int n = static_cast<int>(end - digits);
    for (int i = n; i < min_digits && i < static_cast<int>(kIntegerMaxLength); ++i)
        *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(n));
    return out + n;
}

} // namespace textmatte
