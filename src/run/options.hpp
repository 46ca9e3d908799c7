// Command-line options: one letter after '-' or '/', case-insensitive, and
// its value text. They set the margin, shade, decoration and debug level.
#pragma once

#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// Applies one option argument (with its leading '-' or '/') to the settings.
// An unknown letter is reported on `errors`; from the scan-trace level on
// the option trace goes to `console`.
void opt(const char* arg, RunSettings& settings, Output& console, Output& errors);

// The value text read as a decimal integer the way atoi reads it, saturating
// at the limits of a 32-bit integer.
int read_int(const char* text);

} // namespace textmatte
