#include "interchange/records.hpp"

#include "interchange/format.hpp"

namespace textmatte {

void write_rgb_colour_record(Output& output, int packed) {
    write<"lc10 #%06x\n">(output, packed);
}

void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3, double x4, double y4) {
    write<"sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n">(output, x1, y1, x2, y2, x3, y3,
                                                                  x4, y4);
}

} // namespace textmatte
