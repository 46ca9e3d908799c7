// Records, traces and messages written from their printf-style formats,
// checked and taken apart at compile time:
//
//     write<"sl %.12f %.12f\n">(out, x, y);
//
// A format may hold %d (int), %u (unsigned), %x and %0Nx with N up to 8
// (int or unsigned, written as the value's bits), %f, %.Nf or %.Nlf with N
// up to 40 (double; %f has 6 decimals), %s (text: a character string or
// string view, written as bytes, each '\n' a line end) and %c (char), and %%.
// A conversion it does not know, a missing or extra argument, an argument
// of the wrong type, or a piece between line ends and conversions longer
// than Output::kMinCapacity is a compile error. At run time nothing is
// interpreted: each literal piece and each number goes straight into the
// output's buffer, and every '\n' becomes the output's line end.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "interchange/output.hpp"

namespace textmatte {

template <std::size_t N> struct Format {
    char chars[N]{};
    consteval Format(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            chars[i] = s[i];
    }
    static constexpr std::size_t length = N - 1;
};

namespace format_detail {

enum class Step : unsigned char {
    literal,
    line_end,
    decimal,
    unsigned_decimal,
    hex,
    fixed,
    text,
    character
};

struct Op {
    Step step = Step::literal;
    std::size_t begin = 0;  // literal: position in the format
    std::size_t length = 0; // literal: byte count
    int precision = 6;      // fixed
    int min_digits = 1;     // hex
    std::size_t argument = 0;
    // Ops of bounded length run together on one claim of buffer room: the
    // first claims `run_room` bytes, the last commits what the run wrote.
    bool run_start = false;
    bool run_end = false;
    std::size_t run_room = 0;
};

// The most bytes an op writes; 0 for text, which has no bound.
constexpr std::size_t most_bytes(const Op& op) {
    switch (op.step) {
    case Step::literal: return op.length;
    case Step::line_end:
    case Step::character: return 2;
    case Step::decimal:
    case Step::unsigned_decimal: return kIntegerMaxLength;
    case Step::hex: return kHexMaxDigits;
    case Step::fixed: return kFixedMaxLength;
    case Step::text: return 0;
    }
    return 0;
}

constexpr std::size_t kMaxOps = 64;

struct Parsed {
    std::array<Op, kMaxOps> ops{};
    std::size_t count = 0;
    std::size_t arguments = 0;
    bool ok = true;
    bool fits = true;       // every op fits the output's smallest buffer
    bool widths_fit = true; // no %0Nx asks for more digits than a value has

    constexpr void push(const Op& op) {
        if (count == kMaxOps) {
            ok = false;
            return;
        }
        ops[count++] = op;
    }
    constexpr void literal(std::size_t begin, std::size_t end) {
        if (end > begin) push(Op{Step::literal, begin, end - begin});
    }
};

// Marks the runs of bounded ops, each within the output's smallest buffer.
// An op longer than that buffer could never be written on one claim: the
// format is then marked as not fitting, which write() refuses to compile.
constexpr void group_runs(Parsed& p) {
    std::size_t i = 0;
    while (i < p.count) {
        if (p.ops[i].step == Step::text) {
            ++i;
            continue;
        }
        if (most_bytes(p.ops[i]) > Output::kMinCapacity) {
            p.fits = false;
            return;
        }
        std::size_t j = i, room = 0;
        while (j < p.count && p.ops[j].step != Step::text &&
               room + most_bytes(p.ops[j]) <= Output::kMinCapacity)
            room += most_bytes(p.ops[j++]);
        p.ops[i].run_start = true;
        p.ops[i].run_room = room;
        p.ops[j - 1].run_end = true;
        i = j;
    }
}

template <Format F> consteval Parsed parse() {
    Parsed p;
    const char* f = F.chars;
    std::size_t start = 0; // of the pending literal
    std::size_t i = 0;
    while (i < F.length) {
        if (f[i] == '\n') {
            p.literal(start, i);
            p.push(Op{Step::line_end});
            start = ++i;
            continue;
        }
        if (f[i] != '%') {
            ++i;
            continue;
        }
        if (f[i + 1] == '%') { // a literal percent sign
            p.literal(start, i + 1);
            i += 2;
            start = i;
            continue;
        }
        p.literal(start, i);
        std::size_t j = i + 1;
        const bool zero_fill = f[j] == '0';
        if (zero_fill) ++j;
        int width = 0;
        while (is_digit(f[j]))
            width = width * 10 + (f[j++] - '0');
        bool has_precision = false;
        int precision = 6;
        if (f[j] == '.') {
            has_precision = true;
            precision = 0;
            ++j;
            while (is_digit(f[j]))
                precision = precision * 10 + (f[j++] - '0');
        }
        if (f[j] == 'l') ++j;
        Op op;
        op.argument = p.arguments++;
        switch (f[j]) {
        case 'd': op.step = Step::decimal; break;
        case 'u': op.step = Step::unsigned_decimal; break;
        case 'x':
            op.step = Step::hex;
            if (width > 0 && !zero_fill) p.ok = false; // only zero fill is supported
            if (width > kHexMaxDigits) p.widths_fit = false;
            op.min_digits = width > 0 ? width : 1;
            width = 0;
            break;
        case 'f':
            op.step = Step::fixed;
            op.precision = precision;
            if (precision > kMaxPrecision) p.ok = false;
            has_precision = false;
            break;
        case 's': op.step = Step::text; break;
        case 'c': op.step = Step::character; break;
        default: p.ok = false; break;
        }
        if (width > 0 || has_precision || (zero_fill && op.step != Step::hex)) p.ok = false;
        p.push(op);
        i = j + 1;
        start = i;
    }
    p.literal(start, F.length);
    group_runs(p);
    return p;
}

template <typename T> constexpr bool is_text_v = std::is_convertible_v<const T&, std::string_view>;

// Where a run writes: the output and the pointer into its buffer.
struct Cursor {
    Output& out;
    char* p = nullptr;
};

template <Op op, Format F, typename Values> void put(Cursor& c, const Values& values) {
    if constexpr (op.run_start) c.p = c.out.reserve(op.run_room);
    if constexpr (op.step == Step::literal) {
        std::memcpy(c.p, F.chars + op.begin, op.length);
        c.p += op.length;
    } else if constexpr (op.step == Step::line_end) {
        c.p = c.out.put_line_end(c.p);
    } else {
        const auto& v = std::get<op.argument>(values);
        using T = std::remove_cvref_t<decltype(v)>;
        if constexpr (op.step == Step::decimal) {
            static_assert(std::is_same_v<T, int>, "%d takes an int");
            c.p = format_decimal(c.p, v);
        } else if constexpr (op.step == Step::unsigned_decimal) {
            static_assert(std::is_same_v<T, unsigned>, "%u takes an unsigned");
            c.p = format_unsigned(c.p, v);
        } else if constexpr (op.step == Step::hex) {
            static_assert(std::is_same_v<T, int> || std::is_same_v<T, unsigned>,
                          "%x takes an int or an unsigned");
            c.p = format_hex(c.p, static_cast<unsigned>(v), op.min_digits);
        } else if constexpr (op.step == Step::fixed) {
            static_assert(std::is_same_v<T, double>, "%f takes a double");
            c.p = format_fixed<op.precision>(c.p, v);
        } else if constexpr (op.step == Step::text) {
            static_assert(is_text_v<T>, "%s takes a character string");
            c.out.text(std::string_view(v));
        } else {
            static_assert(std::is_same_v<T, char>, "%c takes a char");
            if (v == '\n')
                c.p = c.out.put_line_end(c.p);
            else
                *c.p++ = v;
        }
    }
    if constexpr (op.run_end) c.out.advance_to(c.p);
}

} // namespace format_detail

template <Format F, typename... Args> void write(Output& out, const Args&... args) {
    static constexpr format_detail::Parsed kParsed = format_detail::parse<F>();
    static_assert(kParsed.ok, "the format has a conversion that write() does not support");
    static_assert(kParsed.arguments == sizeof...(Args),
                  "the format's conversions and the arguments differ in number");
    static_assert(kParsed.widths_fit, "a %0Nx width is above 8: a 32-bit value has at most 8 "
                                      "hexadecimal digits, and wider is not written");
    static_assert(kParsed.fits, "a literal piece or a conversion of the format is longer than "
                                "the output's smallest buffer (Output::kMinCapacity)");
    const std::tuple<const Args&...> values(args...);
    format_detail::Cursor cursor{out};
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (format_detail::put<kParsed.ops[I], F>(cursor, values), ...);
    }
    (std::make_index_sequence<kParsed.count>{});
}

} // namespace textmatte
