// What textmatte says to a person who asks with --help or --version (found
// by find_request in options/).
#pragma once

#include "interchange/output.hpp"

namespace textmatte {

void write_usage(Output& console);
void write_version(Output& console);

} // namespace textmatte
