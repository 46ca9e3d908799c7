// The record scanner: one pass over the interchange file, a line at a time.
//
// Each line is dispatched on its head: comment and attribute records are
// copied through as read, each "hq" is answered with "hd", header records
// fill the text-type table, text records go to the background routine, and
// everything else is consumed without output.
#pragma once

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// Scans at most jd_limit lines of `fp`, writing to `fpw`; at debug level 3
// traces every line on `out`. jd_xmax, the counted lines, shows in the
// trace only. Returns 0.
int JW_PATTERN(RunState& run, LineReader& fp, Output& fpw, Output& out, unsigned jd_xmax,
               unsigned jd_limit);

// Clears the polyline bookkeeping.
void PLreset(ScannerState& scan);

// Handles one line; the main loop's body, exposed for tests.
void dispatch(RunState& run, const Line& line, Output& fpw, Output& out);

} // namespace textmatte
