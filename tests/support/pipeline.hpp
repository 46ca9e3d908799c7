// Runs the core over an in-memory drawing.
#pragma once

#include <string>
#include <string_view>

#include "interchange/line_reader.hpp"
#include "interchange/scanner.hpp"
#include "pipeline/convert.hpp"
#include "state/state.hpp"
#include "support/capture.hpp"

namespace textmatte::testing {

struct Result {
    std::string output;  // bytes for the output file
    std::string console; // standard output
};

inline RunSettings at_level(DebugLevel level) {
    RunSettings s;
    s.debug_level = level;
    return s;
}

// The scan alone, boxes included: no end-of-run lines, no trailer.
inline Result scan_only(std::string_view input, RunSettings settings = {}) {
    RunState run;
    run.settings = settings;
    StringSource source(input);
    LineReader reader(source);
    Captured file, console(LineEnds::lf);
    TextBoxes boxes(run.settings, file.out, console.out);
    scan_records(run, ScanStreams{reader, file.out, console.out}, boxes, 0, kPieceLimit);
    return {file.str(), console.str()};
}

// Scan, end-of-run lines and trailer, as a run writes them.
inline Result convert_all(std::string_view input, RunSettings settings = {},
                          unsigned counted_pieces = 0) {
    RunState run;
    run.settings = settings;
    StringSource source(input);
    LineReader reader(source);
    Captured file, console(LineEnds::lf);
    convert(run, reader, file.out, console.out, counted_pieces);
    return {file.str(), console.str()};
}

} // namespace textmatte::testing
