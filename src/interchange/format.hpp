// Formatted output in the manner of printf, done by the program itself.
//
// Records, traces and messages are written with their printf-style formats
// ("sl %.12f %.12f\n", "lg%x\n" ...), but the conversions are ours: reals
// are correctly rounded and never depend on the locale or the C runtime, so
// every platform writes the same bytes. Supported: %d %u %x with an optional
// '0' flag and width, %.Nf (also spelled %.Nlf), %s, %c and %%.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "interchange/output.hpp"

namespace textmatte {

struct FormatArg {
    enum class Kind { integer, unsigned_integer, real, text };

    FormatArg(int v) : kind(Kind::integer), i(v) {}
    FormatArg(unsigned v) : kind(Kind::unsigned_integer), u(v) {}
    FormatArg(double v) : kind(Kind::real), d(v) {}
    FormatArg(const char* v) : kind(Kind::text), s(v) {}

    Kind kind;
    union {
        int i;
        unsigned u;
        double d;
        const char* s;
    };
};

// Writes fmt with its arguments to out. A conversion that finds no argument
// of a fitting kind writes nothing; the tests of every format catch that.
void print(Output& out, const char* fmt, std::initializer_list<FormatArg> args = {});

// Largest text that format_fixed writes: sign, 309 integer digits, point and
// up to kMaxPrecision decimals.
constexpr int kMaxPrecision = 40;
constexpr std::size_t kFixedBufferSize = 1 + 309 + 1 + kMaxPrecision + 8;

// Writes v in fixed notation with `precision` decimals (0..kMaxPrecision),
// correctly rounded (ties to even on the exact binary value, as glibc's
// printf does). Returns the end of the written text; no terminator.
char* format_fixed(char* out, double v, int precision);

} // namespace textmatte
