// The box behind a text: for every text record, an RGB colour record (a
// shade of grey, or the user's own colour),
// a four-cornered solid covering the text plus the margin, and the text
// record again, optionally with a decoration prefix.
#pragma once

#include <array>

#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// The shade table: grey shades as packed 0xRRGGBB, by shade index.
inline constexpr std::array<int, 10> kShades = {0xf8f8f8, 0xeeeeee, 0xdddddd, 0xc0c0c0, 0xbbbbbb,
                                                0xaaaaaa, 0x999999, 0x888888, 0x777777, 0x666666};

// Shade index used when the settings hold one the options never give.
inline constexpr int kDefaultShade = 5;

// Corners of a text's box, counter-clockwise from lower left of the text.
struct Box {
    double x1, y1, x2, y2, x3, y3, x4, y4;
};

// The box of a text starting at (x, y) along (dx, dy), of height h, with
// margin m on every side.
Box text_box(double x, double y, double dx, double dy, double h, double m);

// The cleaned string: the raw string cut at its line end and at 231
// bytes, without splitting a two-byte Shift-JIS character.
void clean_text(TextRecord& text);

// Cleans the raw string into `cleaned`, then writes the three records of the
// text to `output`; at the text-trace level traces them on `console`.
void box_text(const RunSettings& settings, TextRecord& text, const TextTypes& types, Output& output,
              Output& console);

// Writes the colour record, the solid and the text record for a cleaned
// text, and the trace.
void write_boxed_text(const RunSettings& settings, const TextRecord& text, const TextTypes& types,
                      Output& output, Output& console);

} // namespace textmatte
