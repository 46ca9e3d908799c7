#include "preview/drawing.hpp"

#include <array>
#include <cmath>
#include <cstdio>

#include "boxes/text_box.hpp"
#include "interchange/fields.hpp"
#include "interchange/line_reader.hpp"
#include "interchange/reading.hpp"
#include "pipeline/convert.hpp"
#include "preview/shift_jis.hpp"
#include "state/state.hpp"

namespace textmatte::preview {

namespace {

constexpr std::array<const char*, 10> kPalette = {
    "#000000", "#000000", "#d00000", "#00a000", "#0000d0",
    "#c0a000", "#c000c0", "#00a0a0", "#808080", "#404040",
};

bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The colour of an RGB colour record "lc10 #rrggbb"; empty for any other.
std::string rgb_colour(const LinePiece& line) {
    const std::string_view t = line.text();
    if (t.size() < 12 || t.substr(0, 6) != "lc10 #") return {};
    std::string c(1, '#');
    for (std::size_t i = 6; i < 12; ++i) {
        if (!is_hex(t[i])) return {};
        c += static_cast<char>(t[i] >= 'A' && t[i] <= 'F' ? t[i] - 'A' + 'a' : t[i]);
    }
    return c;
}

class Reader {
  public:
    explicit Reader(const TextTypes& types) : types_(types) {}

    void read(const LinePiece& line) {
        ++drawing.records;
        switch (classify(line)) {
        case RecordHead::line: return line_record(line);
        case RecordHead::circle: return circle(line);
        case RecordHead::text_type: return void(read_text_type(types_, line));
        case RecordHead::text: return text(line);
        case RecordHead::point: return point(line);
        case RecordHead::solid: return solid(line);
        case RecordHead::colour: return colour(line);
        case RecordHead::text_type_table: return read_text_type_table(types_, line);
        default: --drawing.records; // none the preview knows
        }
    }

    const TextTypes& types() const { return types_; }

    Drawing drawing;

  private:
    // Solids are filled with the colour in force, an RGB colour included;
    // lines, circles, points and texts keep the colour of the last numbered
    // colour record, so a text stays readable on its box.
    Shape& add(Shape::Kind kind) {
        drawing.shapes.emplace_back();
        Shape& s = drawing.shapes.back();
        s.kind = kind;
        s.colour = kind == Shape::Kind::solid ? fill_ : pen_;
        return s;
    }

    void colour(const LinePiece& line) {
        if (std::string rgb = rgb_colour(line); !rgb.empty()) {
            fill_ = rgb;
            return;
        }
        FieldReader(line.text(), 2).decimal(number_);
        fill_ = pen_ = palette_colour(number_);
    }

    void line_record(const LinePiece& line) {
        FieldReader f(line.text(), 1);
        f.real(x1_) && f.real(y1_) && f.real(x2_) && f.real(y2_);
        add(Shape::Kind::line).points = {{x1_, y1_}, {x2_, y2_}};
    }

    void circle(const LinePiece& line) {
        start_ = 0.0, end_ = 360.0, sixth_field_ = -2.0, seventh_field_ = 0.0;
        FieldReader f(line.text(), 2);
        f.real(cx_) && f.real(cy_) && f.real(r_) && f.real(start_) && f.real(end_) &&
            f.real(sixth_field_) && f.real(seventh_field_);
        const bool whole = std::fabs(end_ - start_) >= 360.0;
        Shape& s = add(whole ? Shape::Kind::circle : Shape::Kind::arc);
        s.points = {{cx_, cy_}};
        s.radius = r_;
        s.start_deg = start_;
        s.end_deg = end_;
    }

    void point(const LinePiece& line) {
        FieldReader f(line.text(), 2);
        f.real(px_) && f.real(py_);
        add(Shape::Kind::point).points = {{px_, py_}};
    }

    void solid(const LinePiece& line) {
        std::array<double, 8> v{};
        FieldReader f(line.text(), 2);
        std::size_t n = 0;
        while (n < v.size() && f.real(v[n]))
            ++n;
        if (n < 4) return;
        Shape& s = add(Shape::Kind::solid);
        for (std::size_t i = 0; i + 1 < n; i += 2)
            s.points.push_back({v[i], v[i + 1]});
    }

    void text(const LinePiece& line) {
        read_text_record(text_, line);
        clean_text(text_);
        Shape& s = add(Shape::Kind::text);
        s.points = {{text_.x, text_.y}};
        s.direction = {text_.dx, text_.dy};
        s.height = types_.has(types_.in_force)
                       ? types_.height[static_cast<std::size_t>(types_.in_force)]
                       : 0.0;
        s.text = shift_jis_to_utf8(text_.cleaned.data());
    }

    TextTypes types_;
    TextRecord text_;
    int number_ = 1;
    std::string pen_ = palette_colour(1);
    std::string fill_ = palette_colour(1);
    // Fields that do not convert keep the previous record's values, as in
    // the scanner; only a circle's angles and later fields start each record
    // again from a whole circle.
    double x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    double cx_ = 0, cy_ = 0, r_ = 0, start_ = 0, end_ = 360, sixth_field_ = -2, seventh_field_ = 0;
    double px_ = 0, py_ = 0;
};

void read_lines(Reader& r, std::string_view bytes) {
    StringSource source(bytes);
    LineReader reader(source);
    LinePiece line;
    while (reader.next(line))
        r.read(line);
}

} // namespace

const char* palette_colour(int number) {
    return number >= 0 && number < static_cast<int>(kPalette.size())
               ? kPalette[static_cast<std::size_t>(number)]
               : kPalette[1];
}

Drawing read_drawing(std::string_view bytes) {
    Reader r{TextTypes{}};
    read_lines(r, bytes);
    return std::move(r.drawing);
}

Drawing read_result(std::string_view input, const RunSettings& settings) {
    // The drawing's own shapes, and the text-type table the host keeps.
    Reader own{TextTypes{}};
    read_lines(own, input);
    // textmatte's output, computed here.
    RunState run;
    run.settings = settings;
    run.settings.debug_level = DebugLevel::off;
    StringSource input_bytes(input);
    LineReader input_lines(input_bytes);
    StringSink output_bytes, console_bytes;
    Output output(output_bytes, LineEnds::crlf), console(console_bytes, LineEnds::lf);
    convert(run, input_lines, output, console, 0);
    output.flush();
    // With nothing to box the host says so and keeps its drawing.
    if (found_no_text_to_box(run)) return std::move(own.drawing);
    TextTypes types = own.types();
    types.in_force = 1; // the output's text-type records set it again, in order
    Reader result(types);
    read_lines(result, output_bytes.bytes);
    // Once "hq" is answered the host deletes the selection and draws the
    // output alone; otherwise it draws the output over the selection.
    if (run.scan.selection_replaced) return std::move(result.drawing);
    Drawing d = std::move(own.drawing);
    d.records += result.drawing.records;
    for (Shape& s : result.drawing.shapes)
        d.shapes.push_back(std::move(s));
    return d;
}

} // namespace textmatte::preview
