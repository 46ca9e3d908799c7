// The arguments a person types, which no host sends: --help (or /?) and
// --version. Either, anywhere among the arguments, answers on standard
// output and ends the run before any file is touched.
#pragma once

#include "interchange/output.hpp"

namespace textmatte {

enum class Request { none, help, version };

// The first help or version argument; none if there is neither.
Request find_request(int argc, const char* const argv[]);

void write_usage(Output& console);
void write_version(Output& console);

} // namespace textmatte
