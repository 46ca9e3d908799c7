// A drawing as the preview sees it: the shapes of an interchange file, in
// file order, each with the colour it is painted in (a solid the colour in
// force when it was read, any other shape the last numbered colour).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "state/state.hpp"

namespace textmatte::preview {

struct Point {
    double x = 0.0, y = 0.0;
};

struct Shape {
    enum class Kind { line, circle, arc, point, solid, text };
    Kind kind = Kind::line;
    std::string colour;        // "#rrggbb"
    std::vector<Point> points; // line: 2; circle, arc, point, text: 1; solid: 2 to 4
    double radius = 0.0;       // circle, arc
    double start_deg = 0.0;    // arc, counter-clockwise from the x axis
    double end_deg = 360.0;
    Point direction;     // text: its run along the baseline
    double height = 0.0; // text: height of its text type
    std::string text;    // text: UTF-8
};

struct Drawing {
    std::vector<Shape> shapes;
    long records = 0; // records the preview knew, drawn or not
};

// Colour numbers of colour records, as the preview paints them.
const char* palette_colour(int number);

// Reads every record the preview draws; the rest is skipped.
Drawing read_drawing(std::string_view bytes);

// The drawing as the host shows it after a run with these settings,
// textmatte's output computed here by the same code: where the host asked
// for its selection to be replaced, the output alone; otherwise the
// drawing with the output over it; with no text to box, the drawing as it
// was. Texts are as high as the drawing's text types make them.
Drawing read_result(std::string_view input, const RunSettings& settings);

} // namespace textmatte::preview
