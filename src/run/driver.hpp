// The run: options, taking the host's file over, counting its lines, the
// scan, the trailer and putting the result back where the host reads it.
#pragma once

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"
#include "run/files.hpp"
#include "state/state.hpp"

namespace textmatte {

// Names of the file exchange in the working directory.
inline constexpr const char* kHostName = "jwc_temp.txt";
inline constexpr const char* kFirstStep = "JWC_x2x2.$$";
inline constexpr const char* kSecondStep = "JWC_x2x2.$$$";
inline constexpr const char* kWorkName = "JWC_TEMP.TXT";
inline constexpr const char* kOutputName = "JWC_TEMP.$$$";

// Most lines an input may have.
inline constexpr unsigned jd_limit = 50000;

// Result of counting a file's lines by copying it.
struct LineCount {
    unsigned lines = 0;
    int status = 0; // non-zero: the run must end with it
};

// Copies `source` to `destination` line by line, at most jd_limit + 1 lines,
// and counts them. An open failure gives status -1, a read or write
// failure status 1; either is reported on `err`.
LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& err);

// The work of a run on open streams: the scan, the end-of-run traces and the
// trailer. Stops after the scan when the input could not be read.
void convert(RunState& run, LineReader& fp, Output& fpw, Output& out, unsigned jd_xmax);

// One whole run over the working directory; returns the exit status.
int run(int argc, const char* const argv[], FileSystem& fs, Output& out, Output& err);

} // namespace textmatte
