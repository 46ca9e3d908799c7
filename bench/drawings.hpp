// Realistic drawings for the benchmark, at any number of lines.
#pragma once

#include <string>

namespace textmatte::bench {

enum class Kind {
    texts,      // text records only, after a short header
    mix,        // about a fifth texts; lines, circles, points, attributes, comments
    long_texts, // text records with strings of 120 to 180 bytes, lines under 254
};

const char* name(Kind kind);
// Exactly `lines` lines with CR LF ends; the same bytes for the same seed.
std::string make_drawing(Kind kind, int lines, unsigned seed = 1);

} // namespace textmatte::bench
