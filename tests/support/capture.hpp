// Helpers for driving the core in memory.
#pragma once

#include <string>

#include "interchange/output.hpp"

namespace textmatte::testing {

// An output on a string, with file (CR LF) or console (LF) line ends.
struct Captured {
    explicit Captured(LineEnds ends = LineEnds::crlf) : out(sink, ends) {}
    std::string str() {
        out.flush();
        return sink.bytes;
    }
    StringSink sink;
    Output out;
};

} // namespace textmatte::testing
