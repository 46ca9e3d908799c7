// The interchange file's records: the writers that put one record each on
// the output, and the distance helper. Every writer makes exactly one line;
// its newline goes out as CR LF.
#pragma once

#include "interchange/output.hpp"

namespace textmatte {

// Line record " x1 y1 x2 y2 ".
void write_line_record(Output& output, double x1, double y1, double x2, double y2);
// Point record "pt x y ".
void write_point_record(Output& output, double x, double y);
// Colour record "lc<n> ".
void write_colour_record(Output& output, int colour);
// RGB colour record "lc10 #rrggbb" from components, packed without clamping.
void write_rgb_colour_record(Output& output, int red, int green, int blue);
// RGB colour record "lc10 #rrggbb" from a packed 0xRRGGBB value.
void write_rgb_colour_record(Output& output, int packed);
// Solid records with two, three and four corners.
void write_solid_record(Output& output, double x1, double y1, double x2, double y2);
void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3);
void write_solid_record(Output& output, double x1, double y1, double x2, double y2, double x3,
                        double y3, double x4, double y4);
// "sc" and "se" records: seven values with 10 decimals, the eighth with 2.
void write_sc_record(Output& output, double a1, double a2, double a3, double a4, double a5,
                     double a6, double a7, double a8);
void write_se_record(Output& output, double a1, double a2, double a3, double a4, double a5,
                     double a6, double a7, double a8);
// Text-type record "cn<n> ".
void write_text_type_record(Output& output, int type);
// A record shaped like a text record under the caller's head.
void write_text_shaped_record(Output& output, const char* head, double x, double y, double dx,
                              double dy, const char* text);
// Text records with a fixed direction field "3 0".
void write_text_record(Output& output, double x, double y, const char* text);
void write_text_and_real_record(Output& output, double x, double y, double value, const char* text);
void write_number_text_record(Output& output, double x, double y, int n);
void write_number_pair_text_record(Output& output, double x, double y, int n1, int n2);
// Circle records: centre and radius; or all seven fields.
void write_circle_record(Output& output, double cx, double cy, double r);
void write_circle_record(Output& output, double cx, double cy, double r, double start, double end,
                         double v6, double v7);

// Distance between two points.
double distance(double x1, double y1, double x2, double y2);

} // namespace textmatte
