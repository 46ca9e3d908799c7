// The grey box behind a text: for every text record, an RGB colour record,
// a four-cornered solid covering the text plus the margin, and the text
// record again, optionally with a decoration prefix.
#pragma once

#include <array>

#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// Grey shades as packed 0xRRGGBB, chosen by the shade index.
inline constexpr std::array<int, 16> inGRAY = {
    0xf8f8f8, 0xeeeeee, 0xdddddd, 0xc0c0c0, 0xbbbbbb, 0xaaaaaa, 0x999999, 0x888888,
    0x777777, 0x666666, 0x555555, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000};

// Shade index used when the settings hold one the options never give.
inline constexpr int kDefaultShade = 5;

// Corners of a text's box, counter-clockwise from lower left of the text.
struct Box {
    double x1, y1, x2, y2, x3, y3, x4, y4;
};

// The box of a text starting at (x, y) along (dx, dy), of height h, with
// margin m on every side.
Box text_box(double x, double y, double dx, double dy, double h, double m);

// The cleaned string ChSTR: the raw string cut at its line end and at 231
// characters.
void clean_text(TextRecord& t);

// Cleans the raw string into ChSTR (cut at its line end and at 231
// characters), then writes the three records of the text.
void CHR_PRO(RunState& run, Output& fpw, Output& out);

// Writes the colour record, the solid and the text record for the current
// text; at debug level 2 traces it on `out`.
void Matte01(const RunState& run, Output& fpw, Output& out);

} // namespace textmatte
