// Runs the core over an in-memory drawing.
#pragma once

#include <string>
#include <string_view>

#include "interchange/line_reader.hpp"
#include "interchange/scanner.hpp"
#include "run/driver.hpp"
#include "state/state.hpp"
#include "support/capture.hpp"

namespace textmatte::testing {

struct Result {
    std::string output;  // bytes for the output file
    std::string console; // standard output
    RunState state;
};

// The scanner alone: no trailer.
inline Result scan_only(std::string_view input, RunSettings settings = {}) {
    Result r;
    r.state.settings = settings;
    StringSource source(input);
    LineReader reader(source);
    Captured file, console(LineEnds::lf);
    JW_PATTERN(r.state, reader, file.out, console.out, 0, jd_limit);
    r.output = file.str();
    r.console = console.str();
    return r;
}

// Scan, end-of-run lines and trailer, as a run writes them.
inline Result convert_all(std::string_view input, RunSettings settings = {}, unsigned jd_xmax = 0) {
    Result r;
    r.state.settings = settings;
    StringSource source(input);
    LineReader reader(source);
    Captured file, console(LineEnds::lf);
    convert(r.state, reader, file.out, console.out, jd_xmax);
    r.output = file.str();
    r.console = console.str();
    return r;
}

} // namespace textmatte::testing
