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

char* write_uint(char* out, std::uint64_t v) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

// Exactly `count` digits of v, zero-filled on the left.
char* write_digits(char* out, std::uint64_t v, int count) {
    for (int k = count - 1; k >= 0; --k) {
        out[k] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return out + count;
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
    const std::uint64_t unit = kPow10[p];
    out = write_uint(out, q / unit);
    if (p > 0) {
        *out++ = '.';
        out = write_digits(out, q % unit, p);
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
            int precision = c.precision < 0 ? 6 : c.precision;
            if (precision > kMaxPrecision) precision = kMaxPrecision;
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
    const char* f = fmt;
    while (*f) {
        const char* pct = std::strchr(f, '%');
        const char* stop = pct ? pct : f + std::strlen(f);
        out.put(f, static_cast<std::size_t>(stop - f));
        if (!pct) break;
        if (pct[1] == '%') {
            out.put_char('%');
            f = pct + 2;
            continue;
        }
        Conversion c;
        f = parse_conversion(pct + 1, c);
        put_conversion(out, c, next < last ? next : nullptr);
        if (next < last) ++next;
    }
}

} // namespace textmatte
