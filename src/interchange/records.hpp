// The records the program writes for a text's box, each one line whose
// newline goes out as CR LF. The text record itself is written by the box
// routine, which alone knows its decorated string.
#pragma once

#include "interchange/output.hpp"

namespace textmatte {

// RGB colour record "lc10 #rrggbb" of a packed 0xRRGGBB value: at least six
// digits, the value's bits as they are.
void write_rgb_colour_record(Output& output, int packed);

// Solid record with four corners, x then y of each.
void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3, double x4, double y4);

} // namespace textmatte
