#include "interchange/format.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace textmatte {

namespace {

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL,
                                    10000000000000000ULL,
                                    100000000000000000ULL,
                                    1000000000000000000ULL};
constexpr int kFastMaxPrecision = 18;

template <int P> constexpr std::uint64_t kPow10Const = kPow10[P];

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

// Four digits of v < 10000 as two independent pairs.
void write_four(char* p, std::uint32_t v) {
    const std::uint32_t hi = v / 100, lo = v % 100;
    std::memcpy(p, kDigitPairs + 2 * hi, 2);
    std::memcpy(p + 2, kDigitPairs + 2 * lo, 2);
}

// Exactly `count` digits of v, zero-filled on the left. Four digits a step
// keeps the chain of divisions short.
char* write_digits(char* out, std::uint64_t v, int count) {
    char* p = out + count;
    while (p - out >= 4) {
        const std::uint64_t rest = v / 10000;
        write_four(p - 4, static_cast<std::uint32_t>(v - rest * 10000));
        v = rest;
        p -= 4;
    }
    while (p > out) {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return out + count;
}

int digit_count(std::uint64_t v) {
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

char* write_uint(char* out, std::uint64_t v) {
    return write_digits(out, v, digit_count(v));
}

// Integer part and fraction of a value scaled by 10^p; the precisions the
// records use get constant divisors, which compile to multiplications.
template <int P> void split_fixed(std::uint64_t q, std::uint64_t& whole, std::uint64_t& fraction) {
    whole = q / kPow10Const<P>;
    fraction = q - whole * kPow10Const<P>;
}

#if defined(__SIZEOF_INT128__)
__extension__ using u128 = unsigned __int128;

// Exact scaled value round(m * 2^e * 10^p), ties to even, when it fits in
// 64 bits; false sends the caller to the general routine.
bool scaled_round(std::uint64_t m, int e, int p, std::uint64_t& q) {
    u128 scaled = static_cast<u128>(m) * kPow10[p]; // < 2^113
    u128 result;
    if (e >= 0) {
        if (e > 10) return false;
        result = scaled << e;
    } else {
        int s = -e;
        if (s >= 120) {
            result = 0; // below half a unit of the last place
        } else {
            result = scaled >> s;
            u128 rest = scaled & ((static_cast<u128>(1) << s) - 1);
            u128 half = static_cast<u128>(1) << (s - 1);
            if (rest > half || (rest == half && (result & 1) != 0)) ++result;
        }
    }
    if (result >> 64 != 0) return false;
    q = static_cast<std::uint64_t>(result);
    return true;
}

bool format_fast(char*& out, double v, int p) {
    if (p > kFastMaxPrecision) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((1ULL << 52) - 1);
    if (biased == 0x7ff) return false; // inf, nan
    int e;
    if (biased == 0) {
        e = -1074;
    } else {
        m |= 1ULL << 52;
        e = biased - 1075;
    }
    std::uint64_t q;
    if (!scaled_round(m, e, p, q)) return false;
    if (negative) *out++ = '-';
    std::uint64_t whole, fraction;
    switch (p) {
    case 2: split_fixed<2>(q, whole, fraction); break;
    case 6: split_fixed<6>(q, whole, fraction); break;
    case 10: split_fixed<10>(q, whole, fraction); break;
    case 12: split_fixed<12>(q, whole, fraction); break;
    default:
        whole = q / kPow10[p];
        fraction = q % kPow10[p];
        break;
    }
    out = write_uint(out, whole);
    if (p > 0) {
        *out++ = '.';
        out = write_digits(out, fraction, p);
    }
    return true;
}
#else
bool format_fast(char*&, double, int) {
    return false;
}
#endif

// Right-aligns [begin, end) in `width` columns; zeros go after a sign.
char* pad_left(char* begin, char* end, int width, bool zero_fill, char* limit) {
    const int len = static_cast<int>(end - begin);
    if (width <= len || begin + width > limit) return end;
    const int pad = width - len;
    char* digits = (zero_fill && len > 0 && *begin == '-') ? begin + 1 : begin;
    std::memmove(digits + pad, digits, static_cast<std::size_t>(end - digits));
    std::memset(digits, zero_fill ? '0' : ' ', static_cast<std::size_t>(pad));
    return end + pad;
}

struct Conversion {
    bool zero_fill = false;
    int width = 0;
    int precision = -1;
    char kind = 0;
};

// Parses the conversion after '%'; returns the position after it.
const char* parse_conversion(const char* f, Conversion& c) {
    if (*f == '0') {
        c.zero_fill = true;
        ++f;
    }
    while (*f >= '0' && *f <= '9')
        c.width = c.width * 10 + (*f++ - '0');
    if (*f == '.') {
        ++f;
        c.precision = 0;
        while (*f >= '0' && *f <= '9')
            c.precision = c.precision * 10 + (*f++ - '0');
    }
    if (*f == 'l') ++f;
    c.kind = *f;
    return *f ? f + 1 : f;
}

void put_number(Output& out, const Conversion& c, char* begin, char* end, char* limit) {
    end = pad_left(begin, end, c.width, c.zero_fill, limit);
    out.put_plain(begin, static_cast<std::size_t>(end - begin));
}

void put_conversion(Output& out, const Conversion& c, const FormatArg* arg) {
    char buf[kFixedBufferSize + 32];
    char* limit = buf + sizeof buf;
    using Kind = FormatArg::Kind;
    switch (c.kind) {
    case 'd':
        if (arg && arg->kind == Kind::integer)
            put_number(out, c, buf, std::to_chars(buf, limit, arg->i).ptr, limit);
        break;
    case 'u':
        if (arg && (arg->kind == Kind::unsigned_integer || arg->kind == Kind::integer))
            put_number(out, c, buf, std::to_chars(buf, limit, arg->u).ptr, limit);
        break;
    case 'x':
        if (arg && (arg->kind == Kind::unsigned_integer || arg->kind == Kind::integer))
            put_number(out, c, buf, std::to_chars(buf, limit, arg->u, 16).ptr, limit);
        break;
    case 'f':
        if (arg && arg->kind == Kind::real) {
            const int precision = c.precision < 0 ? 6 : c.precision;
            if (c.width == 0)
                out.commit(format_fixed(out.claim(kFixedBufferSize), arg->d, precision));
            else
                put_number(out, c, buf, format_fixed(buf, arg->d, precision), limit);
        }
        break;
    case 's':
        if (arg && arg->kind == Kind::text && arg->s) out.put(arg->s, std::strlen(arg->s));
        break;
    case 'c':
        if (arg && arg->kind == Kind::integer) out.put_char(static_cast<char>(arg->i));
        break;
    default: break;
    }
}

} // namespace

char* format_fixed(char* out, double v, int precision) {
    if (precision < 0) precision = 0;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    char* fast = out;
    if (format_fast(fast, v, precision)) return fast;
    return std::to_chars(out, out + kFixedBufferSize, v, std::chars_format::fixed, precision).ptr;
}

void print(Output& out, const char* fmt, std::initializer_list<FormatArg> args) {
    const FormatArg* next = args.begin();
    const FormatArg* last = args.end();
    const char* literal = fmt;
    for (const char* f = fmt;; ++f) {
        const char c = *f;
        if (c != '%' && c != '\n' && c != '\0') continue;
        out.put_plain(literal, static_cast<std::size_t>(f - literal));
        if (c == '\0') break;
        if (c == '\n') {
            out.put_char('\n');
            literal = f + 1;
            continue;
        }
        if (f[1] == '%') {
            out.put_char('%');
            literal = ++f + 1;
            continue;
        }
        Conversion conv;
        literal = parse_conversion(f + 1, conv);
        put_conversion(out, conv, next < last ? next : nullptr);
        if (next < last) ++next;
        f = literal - 1;
    }
}

} // namespace textmatte
