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
void set_debug_level(const char* value, RunSettings& s) {
    s.isTest = DebugLevel::off;
    if (value[0] >= '1' && value[0] <= '6') s.isTest = static_cast<DebugLevel>(value[0] - '0');
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
        s.wSCLR = 7;
        if (has_value) s.wSCLR = read_int(value) % 9;
        break;
    case 'c':
        // A negative shade counts by its magnitude.
        if (has_value) s.iGRAY = magnitude(read_int(value) % 10);
        break;
    case 'd':
        if (has_value) s.iBACK = read_int(value) % 6;
        break;
    case 'f':
        if (has_value) s.iBOLD = magnitude(read_int(value) % 4);
        break;
    case 't':
        if (!has_value) {
            s.isTest = DebugLevel::off;
            return; // a bare t writes no option trace
        }
        set_debug_level(value, s);
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
    if (traces_options(s.isTest))
        write<"# --- command line option ---------------\n# --- wSCLR=(%d)\n">(console, s.wSCLR);
}

} // namespace textmatte
