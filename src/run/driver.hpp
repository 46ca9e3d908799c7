// The run: options, taking the host's file over, counting its lines, the
// transformation and putting the result back where the host reads it.
#pragma once

#include <memory>

#include "files/files.hpp"
#include "interchange/output.hpp"
#include "run/interrupts.hpp"

namespace textmatte {

// The line count of a file, and the output file it made room for.
struct LineCount {
    unsigned lines = 0;
    int status = 0;                 // non-zero: the run must end with it (message written)
    std::unique_ptr<InFile> source; // still open, unread, when the scan counts
    std::unique_ptr<OutFile> destination;
};

enum class Counting {
    first,       // count the lines now
    during_scan, // leave the source open for the scan, which counts as it reads
};

// Counts the lines of `source` as the scanner will read them, up to the
// line limit and one more, and creates `destination`, new and empty, for
// the output. An open failure gives status -1, a read failure status 1;
// either is reported on `errors`.
LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& errors,
                Counting counting = Counting::first);

struct RunResult {
    int status = 0;
    int interrupted_by = 0; // the interrupt that stopped the run; 0: none
};

// One whole run over the working directory. A run that an interrupt stops
// before it is complete puts the host's file back, removes its output,
// says so and reports the interrupt; the caller then ends by it.
RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts);

} // namespace textmatte
