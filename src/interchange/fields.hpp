// Reading the fields of a record.
//
// Each field is read from a fixed byte position of its line, as a scanf
// format would read it ("%lf %lf", "%x", "%lf %lf \"%260c" ...), but the
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
#include <span>
#include <string_view>

namespace textmatte {

inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The single conversions; each returns the position after the field, or
// nullptr (leaving `value` untouched) when no field converts.
const char* read_real(const char* p, const char* end, double& value);
const char* read_decimal(const char* p, const char* end, int& value);
const char* read_hex(const char* p, const char* end, int& value);

// Reads the fields of one line from a fixed byte position, left to right.
// Each read returns whether its field converted; chained with && the reads
// stop at the first field that does not, so it and every later field keep
// their values. A start beyond the end of the line reads nothing.
//
//     FieldReader f(line.text(), 2);
//     f.real(x) && f.real(y); // as "%lf %lf"
class FieldReader {
  public:
    FieldReader(std::string_view line, std::size_t offset)
        : next_(line.data() + (offset <= line.size() ? offset : line.size())),
          end_(line.data() + line.size()), usable_(offset <= line.size()) {}

    bool real(double& v) { return take(read_real(next_, end_, v)); }
    bool decimal(int& v) { return take(read_decimal(next_, end_, v)); }
    bool hex(int& v) { return take(read_hex(next_, end_, v)); }
    // A run of white space, also an empty one (a blank of a scan format).
    bool space() {
        while (next_ < end_ && is_space(*next_))
            ++next_;
        return usable_;
    }
    // One given byte.
    bool literal(char c) {
        if (!usable_ || next_ >= end_ || *next_ != c) return false;
        ++next_;
        return true;
    }
    // Every byte to the end of the line that fits `out` with a terminator
    // after it ("%260c" into a buffer of 261 bytes), but also none at all:
    // at the end of the line it stores an empty string and succeeds.
    bool rest(std::span<char> out);

  private:
    bool take(const char* after) {
        if (!usable_ || !after) return false;
        next_ = after;
        return true;
    }

    const char* next_;
    const char* end_;
    bool usable_;
};

} // namespace textmatte
