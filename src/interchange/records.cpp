#include "interchange/records.hpp"

#include <cmath>

#include "interchange/format.hpp"

namespace textmatte {

void write_line_record(Output& output, double x1, double y1, double x2, double y2) {
    write<" %.12f %.12f %.12f %.12f \n">(output, x1, y1, x2, y2);
}

void write_point_record(Output& output, double x, double y) {
    write<"pt %.12f %.12f \n">(output, x, y);
}

void write_colour_record(Output& output, int colour) {
    write<"lc%d \n">(output, colour);
}

void write_rgb_colour_record(Output& output, int red, int green, int blue) {
    // 32-bit wrap-around arithmetic: a component above 255 carries upward.
    const unsigned packed = (static_cast<unsigned>(red) << 16) +
                            (static_cast<unsigned>(green) << 8) + static_cast<unsigned>(blue);
    write<"lc10 #%06x\n">(output, packed);
}

void write_rgb_colour_record(Output& output, int packed) {
    write<"lc10 #%06x\n">(output, packed);
}

void write_solid_record(Output& output, double x1, double y1, double x2, double y2) {
    write<"sl %.12f %.12f %.12f %.12f\n">(output, x1, y1, x2, y2);
}

void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3) {
    write<"sl %.12f %.12f %.12f %.12f %.12f %.12f\n">(output, x1, y1, x2, y2, x3, y3);
}

void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3, double x4, double y4) {
    write<"sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n">(output, x1, y1, x2, y2, x3, y3,
                                                                  x4, y4);
}

void write_sc_record(Output& output, double a1, double a2, double a3, double a4, double a5,
                     double a6, double a7, double a8) {
    write<"sc %.10f %.10f %.10f %.10f %.10f %.10f %.10f %.2f\n">(output, a1, a2, a3, a4, a5, a6, a7,
                                                                 a8);
}

void write_se_record(Output& output, double a1, double a2, double a3, double a4, double a5,
                     double a6, double a7, double a8) {
    write<"se %.10f %.10f %.10f %.10f %.10f %.10f %.10f %.2f\n">(output, a1, a2, a3, a4, a5, a6, a7,
                                                                 a8);
}

void write_text_type_record(Output& output, int type) {
    write<"cn%d \n">(output, type);
}

void write_text_shaped_record(Output& output, const char* head, double x, double y, double dx,
                              double dy, const char* text) {
    write<"%s %.9f %.9f %.9f %.9f \"%s\n">(output, head, x, y, dx, dy, text);
}

void write_text_record(Output& output, double x, double y, const char* text) {
    write<"ch %.6f %.6f 3 0 \"%s\n">(output, x, y, text);
}

void write_text_and_real_record(Output& output, double x, double y, double value,
                                const char* text) {
    write<"ch %.6f %.6f 3 0 \"%s %.2f\n">(output, x, y, text, value);
}

void write_number_text_record(Output& output, double x, double y, int n) {
    write<"ch %.6f %.6f 3 0 \"%d\n">(output, x, y, n);
}

void write_number_pair_text_record(Output& output, double x, double y, int n1, int n2) {
    write<"ch %.6f %.6f 3 0 \"%d,%d\n">(output, x, y, n1, n2);
}

void write_circle_record(Output& output, double cx, double cy, double r) {
    write<"ci %.12f %.12f %.12f \n">(output, cx, cy, r);
}

void write_circle_record(Output& output, double cx, double cy, double r, double start, double end,
                         double v6, double v7) {
    write<"ci %.12f %.12f %.12f %.12f %.12f %.12f %.12f \n">(output, cx, cy, r, start, end, v6, v7);
}

double distance(double x1, double y1, double x2, double y2) {
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace textmatte
