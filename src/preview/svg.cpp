#include "preview/svg.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "interchange/format.hpp"
#include "interchange/output.hpp"

namespace textmatte::preview {

namespace {

constexpr double kDefaultTextHeight = 2.5; // for a text type without a height

double text_height(const Shape& s) {
    return s.height > 0 && std::isfinite(s.height) ? s.height : kDefaultTextHeight;
}

// The points a shape adds to the picture's extent: the square around a
// circle or arc (the whole circle), the corners of a text's run and height,
// and the points of any other shape.
std::vector<Point> extent_points(const Shape& s) {
    const Point p = s.points.empty() ? Point{} : s.points[0];
    switch (s.kind) {
    case Shape::Kind::circle:
    case Shape::Kind::arc:
        return {{p.x - s.radius, p.y - s.radius}, {p.x + s.radius, p.y + s.radius}};
    case Shape::Kind::text: {
        const double len = std::hypot(s.direction.x, s.direction.y);
        const double a = std::atan2(s.direction.y, s.direction.x);
        const double h = text_height(s);
        const double ux = std::cos(a), uy = std::sin(a);
        return {p,
                {p.x + len * ux, p.y + len * uy},
                {p.x - h * uy, p.y + h * ux},
                {p.x + len * ux - h * uy, p.y + len * uy + h * ux}};
    }
    default: return s.points;
    }
}

bool finite(const Shape& s) {
    for (const Point& p : extent_points(s))
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return std::isfinite(s.radius) && std::isfinite(s.start_deg) && std::isfinite(s.end_deg) &&
           std::isfinite(s.direction.x) && std::isfinite(s.direction.y);
}

// Maps drawing coordinates to picture coordinates.
struct View {
    double min_x = 0, max_y = 0, scale = 1, width = kPictureSize, height = kPictureSize;

    double x(double v) const { return kBorder + (v - min_x) * scale; }
    double y(double v) const { return kBorder + (max_y - v) * scale; }
};

View fit(const Drawing& d) {
    double min_x = std::numeric_limits<double>::infinity(), max_x = -min_x;
    double min_y = min_x, max_y = -min_x;
    for (const Shape& s : d.shapes) {
        if (!finite(s)) continue;
        for (const Point& p : extent_points(s)) {
            min_x = std::min(min_x, p.x);
            max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y);
            max_y = std::max(max_y, p.y);
        }
    }
    View v;
    if (!(min_x <= max_x)) return v; // nothing to draw
    const double w = max_x - min_x, h = max_y - min_y;
    const double inner = kPictureSize - 2 * kBorder;
    const double longer = std::max(w, h);
    v.scale = longer > 0 && std::isfinite(longer) ? inner / longer : 1.0;
    if (!std::isfinite(v.scale) || v.scale <= 0) v.scale = 1.0;
    v.min_x = min_x;
    v.max_y = max_y;
    v.width = std::max(1.0, w * v.scale) + 2 * kBorder;
    v.height = std::max(1.0, h * v.scale) + 2 * kBorder;
    if (!std::isfinite(v.width) || !std::isfinite(v.height)) v.width = v.height = kPictureSize;
    return v;
}

void escaped(Output& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '&': out.literal("&amp;"); break;
        case '<': out.literal("&lt;"); break;
        case '>': out.literal("&gt;"); break;
        case '"': out.literal("&quot;"); break;
        case '\'': out.literal("&apos;"); break;
        default: out.character(c); break;
        }
    }
}

void line(Output& out, const View& v, const Shape& s) {
    write<"<line x1=\"%.3f\" y1=\"%.3f\" x2=\"%.3f\" y2=\"%.3f\" stroke=\"%s\"/>\n">(
        out, v.x(s.points[0].x), v.y(s.points[0].y), v.x(s.points[1].x), v.y(s.points[1].y),
        s.colour.c_str());
}

void circle(Output& out, const View& v, const Shape& s) {
    write<"<circle cx=\"%.3f\" cy=\"%.3f\" r=\"%.3f\" fill=\"none\" stroke=\"%s\"/>\n">(
        out, v.x(s.points[0].x), v.y(s.points[0].y), std::fabs(s.radius) * v.scale,
        s.colour.c_str());
}

void arc(Output& out, const View& v, const Shape& s) {
    // Counter-clockwise in the drawing still looks counter-clockwise in the
    // picture, but the picture's y axis points down, so there it runs
    // towards smaller angles: sweep flag 0.
    double sweep = std::fmod(s.end_deg - s.start_deg, 360.0);
    if (sweep < 0) sweep += 360.0;
    const double r = std::fabs(s.radius);
    const double a0 = s.start_deg * std::numbers::pi / 180.0;
    const double a1 = a0 + sweep * std::numbers::pi / 180.0;
    const Point c = s.points[0];
    write<"<path d=\"M %.3f %.3f A %.3f %.3f 0 %d 0 %.3f %.3f\" fill=\"none\" stroke=\"%s\"/>\n">(
        out, v.x(c.x + r * std::cos(a0)), v.y(c.y + r * std::sin(a0)), r * v.scale, r * v.scale,
        sweep > 180.0 ? 1 : 0, v.x(c.x + r * std::cos(a1)), v.y(c.y + r * std::sin(a1)),
        s.colour.c_str());
}

void point(Output& out, const View& v, const Shape& s) {
    write<"<circle cx=\"%.3f\" cy=\"%.3f\" r=\"1.5\" fill=\"%s\"/>\n">(
        out, v.x(s.points[0].x), v.y(s.points[0].y), s.colour.c_str());
}

void solid(Output& out, const View& v, const Shape& s) {
    out.literal("<polygon points=\"");
    for (std::size_t i = 0; i < s.points.size(); ++i)
        if (i)
            write<" %.3f,%.3f">(out, v.x(s.points[i].x), v.y(s.points[i].y));
        else
            write<"%.3f,%.3f">(out, v.x(s.points[i].x), v.y(s.points[i].y));
    write<"\" fill=\"%s\" stroke=\"none\"/>\n">(out, s.colour.c_str());
}

// The width of a text in ems in a fixed-pitch font, as CAD programs draw
// texts: Latin letters 0.6 em (the common monospace fonts), half-width kana
// half an em, the full-width characters of Japanese one em.
double monospace_width_em(const std::string& utf8) {
    double em = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        // U+FF61 to U+FF9F, the half-width kana: EF BD A1 to EF BE 9F.
        const auto second = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0u;
        const auto third = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 2]) : 0u;
        const bool half_width_kana =
            n == 3 && c == 0xef &&
            ((second == 0xbd && third >= 0xa1) || (second == 0xbe && third <= 0x9f));
        em += n == 1 ? 0.6 : half_width_kana ? 0.5 : 1.0;
        i += n;
    }
    return em;
}

// A text runs from its start point the length of its direction vector. Two
// things make it do so: a horizontal scale from its width in the monospace
// font to that length, for renderers that ignore textLength (rsvg-convert
// among them), and textLength, which stretches the glyphs exactly to that
// width, for those that honour it (browsers): together the text fills its
// run, and a box sits evenly around it, in either.
void text(Output& out, const View& v, const Shape& s) {
    const double x = v.x(s.points[0].x), y = v.y(s.points[0].y);
    const double angle = std::atan2(s.direction.y, s.direction.x) * 180.0 / std::numbers::pi;
    const double length = std::hypot(s.direction.x, s.direction.y) * v.scale;
    const double size = text_height(s) * v.scale;
    const double natural = monospace_width_em(s.text) * size;
    const double stretch = length > 0 && natural > 0 ? length / natural : 1.0;
    write<"<text font-size=\"%.3f\" fill=\"%s\" transform=\"translate(%.3f %.3f)">(
        out, size, s.colour.c_str(), x, y);
    if (angle != 0.0) write<" rotate(%.3f)">(out, -angle);
    write<" scale(%.3f 1)\"">(out, std::isfinite(stretch) ? stretch : 1.0);
    if (natural > 0 && length > 0 && std::isfinite(length))
        write<" textLength=\"%.3f\" lengthAdjust=\"spacingAndGlyphs\"">(out, natural);
    out.literal(">");
    escaped(out, s.text);
    write<"</text>\n">(out);
}

} // namespace

void write_svg(const Drawing& drawing, Output& out) {
    const View v = fit(drawing);
    write<"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n">(out);
    write<"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
          "viewBox=\"0 0 %.3f %.3f\" font-family=\"monospace\" stroke-width=\"1\">\n">(
        out, v.width, v.height, v.width, v.height);
    write<"<rect width=\"100%%\" height=\"100%%\" fill=\"#ffffff\"/>\n">(out);
    for (const Shape& s : drawing.shapes) {
        if (!finite(s)) continue;
        switch (s.kind) {
        case Shape::Kind::line: line(out, v, s); break;
        case Shape::Kind::circle: circle(out, v, s); break;
        case Shape::Kind::arc: arc(out, v, s); break;
        case Shape::Kind::point: point(out, v, s); break;
        case Shape::Kind::solid: solid(out, v, s); break;
        case Shape::Kind::text: text(out, v, s); break;
        }
    }
    write<"</svg>\n">(out);
}

} // namespace textmatte::preview
