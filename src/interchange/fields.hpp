// Reading the fields of a record.
//
// Each field is read from a fixed byte position of its line with a
// scanf-style format ("%lf %lf", "%x", "%lf %lf \"%260c" ...), but the
// conversions are the program's own, the same on every platform:
//  - before every number white space is skipped, an empty run included;
//  - a real is the longest prefix that C99 strtod accepts (signs, exponents,
//    inf, infinity, nan, hexadecimal floats), correctly rounded;
//  - decimal and hexadecimal integers saturate beyond 32 bits (a too large
//    hexadecimal number reads as the pattern ffffffff);
//  - at the first field that does not convert the scan stops, and that field
//    and all after it keep the values they had.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace textmatte {

// Target of a "%Nc" text field: at most `capacity` bytes and a terminator.
struct TextField {
    char* data;
    std::size_t capacity;
};

struct ScanTarget {
    enum class Kind { real, integer, text };

    ScanTarget(double* v) : kind(Kind::real), d(v) {}
    ScanTarget(int* v) : kind(Kind::integer), i(v) {}
    ScanTarget(TextField v) : kind(Kind::text), t(v) {}

    Kind kind;
    union {
        double* d;
        int* i;
        TextField t;
    };
};

// Scans `line` from byte `offset` with `fmt`; returns the number of fields
// converted. An offset beyond the end of the line converts nothing.
int scan(std::string_view line, std::size_t offset, const char* fmt,
         std::initializer_list<ScanTarget> targets);

// The single conversions; each returns the position after the field, or
// nullptr (leaving `value` untouched) when no field converts.
const char* read_real(const char* p, const char* end, double& value);
const char* read_decimal(const char* p, const char* end, int& value);
const char* read_hex(const char* p, const char* end, int& value);

inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace textmatte
