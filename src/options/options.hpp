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
