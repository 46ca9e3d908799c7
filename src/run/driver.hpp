// The run: options, taking the host's file, the transformation and putting
// the result where the host reads it.
#pragma once

#include "files/files.hpp"
#include "interchange/output.hpp"
#include "run/ending.hpp"
#include "run/interrupts.hpp"

namespace textmatte {

// One whole run over the working directory. How it ended is said on
// `errors`, one line each. A run that an interrupt stops before its result
// is in place leaves the host's file as written (on Windows, says where the
// drawing lies if it could not get its name back), removes its output, says
// so and reports the interrupt; the caller then ends by it.
RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts);

} // namespace textmatte
