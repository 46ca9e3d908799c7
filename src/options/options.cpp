#include "options/options.hpp"

#include <cassert>
#include <cstring>
#include <optional>

#include "interchange/fields.hpp"
#include "interchange/format.hpp"

namespace textmatte {

namespace {

// v is a remainder here, never INT_MIN.
int magnitude(int v) {
    return v < 0 ? -v : v;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value read as atoi reads it: 0 where no number begins, and
// saturated at the limits of a 32-bit integer.
int number(const char* value) {
    int n = 0;
    read_decimal(value, value + std::strlen(value), n); // no number: n stays 0
    return n;
}

// Only the first character of the value counts: '1' to '6', else level 0.
// Levels 4, 5 and 6 do the same.
DebugLevel debug_level(const char* value) {
    if (value[0] >= '1' && value[0] <= '3') return static_cast<DebugLevel>(value[0] - '0');
    if (value[0] >= '4' && value[0] <= '6') return DebugLevel::options_only;
    return DebugLevel::off;
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hex_value(char c) {
    return is_digit(c) ? c - '0' : lower(c) - 'a' + 10;
}

// "#RRGGBB": a hash and exactly six hexadecimal digits, in either case.
std::optional<int> own_colour(const char* value) {
    if (value[0] != '#') return std::nullopt;
    int colour = 0;
    for (int i = 1; i <= 6; ++i) {
        if (!is_hex_digit(value[i])) return std::nullopt;
        colour = colour * 16 + hex_value(value[i]);
    }
    if (value[7] != '\0') return std::nullopt;
    return colour;
}

} // namespace

OptionNotice apply_option(const char* arg, RunSettings& s) {
    assert(arg[0] == '-' || arg[0] == '/');
    const char letter = lower(arg[1]);
    const char* value = arg[1] ? arg + 2 : "";
    const bool has_value = value[0] != '\0';
    OptionNotice notice;
    switch (letter) {
    case 'a':
        s.traced_number = 7;
        if (has_value) s.traced_number = number(value) % 9;
        break;
    case 'c':
        if (!has_value) break;
        // A colour of one's own, or else a shade: the last /c counts. A
        // negative shade counts by its magnitude.
        s.own_colour = own_colour(value);
        if (!s.own_colour) s.shade_index = magnitude(number(value) % kShadeOption.values);
        break;
    case 'd':
        if (has_value) s.margin = number(value) % kMarginOption.values;
        break;
    case 'f':
        if (has_value) s.decoration = magnitude(number(value) % kDecorationOption.values);
        break;
    case 't':
        if (!has_value) {
            s.debug_level = DebugLevel::off;
            return notice; // a bare t shows no option trace
        }
        s.debug_level = debug_level(value);
        break;
    case 'b':
    case 'e':
    case 'm':
    case 'n':
    case 's':
    case 'u':
    case 'w': break; // accepted, changes nothing
    default: notice.illegal = true; break;
    }
    if (traces_options(s.debug_level)) notice.traced_number = s.traced_number;
    return notice;
}

void write_illegal_option(Output& errors) {
    write<kIllegalOptionLine>(errors);
}

Request find_request(int argc, const char* const argv[]) {
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "/?") == 0)
            return Request::help;
        if (std::strcmp(argv[i], "--version") == 0) return Request::version;
    }
    return Request::none;
}

void write_option_notice(const OptionNotice& notice, Output& console, Output& errors) {
    if (notice.illegal) write_illegal_option(errors);
    if (notice.traced_number)
        write<"# --- command line option ---------------\n# --- wSCLR=(%d)\n">(
            console, *notice.traced_number);
}

} // namespace textmatte
