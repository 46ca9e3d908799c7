// Command-line options: one letter after '-' or '/', case-insensitive, and
// its value text. They set the box's shade or colour, the margin, the
// decoration and the debug level.
//
// Applying an option only changes the settings; what it asks to show comes
// back as a value, so the program shows its messages and the preview, which
// reads the same options, shows only the ones it wants.
#pragma once

#include <optional>

#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// The options that take a number: how many values each has (a number is
// taken modulo that), and its value when not given. --help and the users'
// documents state these rules; a test holds them to this table.
struct NumberOption {
    char letter;
    int values;
    int fallback;
};
inline constexpr NumberOption kShadeOption{'c', 10, RunSettings{}.shade_index};
inline constexpr NumberOption kMarginOption{'d', 6, RunSettings{}.margin};
inline constexpr NumberOption kDecorationOption{'f', 4, RunSettings{}.decoration};
inline constexpr NumberOption kDebugOption{'t', 7, static_cast<int>(RunSettings{}.debug_level)};
inline constexpr NumberOption kNumberOptions[] = {kShadeOption, kMarginOption, kDecorationOption,
                                                  kDebugOption};
// The letters accepted for the host's sake and ignored.
inline constexpr char kIgnoredOptions[] = "/a /b /e /m /n /s /u /w";

// What the caller shows after one option.
struct OptionNotice {
    bool illegal = false;             // an unknown letter
    std::optional<int> traced_number; // set: the option trace follows, showing it
};

// Applies one option argument (with its leading '-' or '/') to the settings.
[[nodiscard]] OptionNotice apply_option(const char* arg, RunSettings& settings);

// What an unknown letter is reported with on standard error: an empty
// line, then " illegal Option.".
inline constexpr char kIllegalOptionLine[] = "\n illegal Option.\n";
void write_illegal_option(Output& errors);

// Everything a notice asks for: the illegal-option line on `errors`, the
// option trace on `console`.
void write_option_notice(const OptionNotice& notice, Output& console, Output& errors);

// The arguments a person types, which no host sends: --help (or /?) and
// --version. Either, anywhere among the arguments, answers on standard
// output and ends the run before any file is touched.
enum class Request { none, help, version };

// The first help or version argument; none if there is neither.
Request find_request(int argc, const char* const argv[]);

} // namespace textmatte
