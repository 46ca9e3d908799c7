#include "run/options.hpp"

#include <climits>
#include <cstdint>

#include "interchange/fields.hpp"
#include "interchange/format.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

int magnitude(int v) {
    return v < 0 ? -v : v;
} // v is a remainder here, never INT_MIN

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only the first character of the value counts: '1' to '6', else level 0.
// Levels 4, 5 and 6 do the same.
DebugLevel debug_level(const char* value) {
    if (value[0] >= '1' && value[0] <= '3') return static_cast<DebugLevel>(value[0] - '0');
    if (value[0] >= '4' && value[0] <= '6') return DebugLevel::options_only;
    return DebugLevel::off;
}

} // namespace

int read_int(const char* text) {
    const char* p = text;
    while (is_space(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    constexpr std::int64_t kCap = std::int64_t{INT_MAX} + 2;
    std::int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (v < kCap) v = v * 10 + (*p - '0');
    if (negative) return v > -std::int64_t{INT_MIN} ? INT_MIN : static_cast<int>(-v);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

void opt(const char* arg, RunSettings& s, Output& console, Output& errors) {
    const char letter = arg[0] ? lower(arg[1]) : '\0';
    const char* value = arg[0] && arg[1] ? arg + 2 : "";
    const bool has_value = value[0] != '\0';
    switch (letter) {
    case 'a':
        s.traced_number = 7;
        if (has_value) s.traced_number = read_int(value) % 9;
        break;
    case 'c':
        // A negative shade counts by its magnitude.
        if (has_value) s.shade_index = magnitude(read_int(value) % 10);
        break;
    case 'd':
        if (has_value) s.margin = read_int(value) % 6;
        break;
    case 'f':
        if (has_value) s.decoration = magnitude(read_int(value) % 4);
        break;
    case 't':
        if (!has_value) {
            s.debug_level = DebugLevel::off;
            return; // a bare t writes no option trace
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
    default: write<"\n illegal Option.\n">(errors); break;
    }
    if (traces_options(s.debug_level))
        write<"# --- command line option ---------------\n# --- wSCLR=(%d)\n">(console,
                                                                               s.traced_number);
}

} // namespace textmatte
