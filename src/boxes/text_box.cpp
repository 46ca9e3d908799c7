#include "boxes/text_box.hpp"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "interchange/format.hpp"
#include "interchange/records.hpp"
#include "interchange/shift_jis.hpp"
#include "maths/directions.hpp"

namespace textmatte {

namespace {

// The prefix of each decoration; 0 and anything unknown leave the text bare.
std::string_view decoration_prefix(int decoration) {
    switch (decoration) {
    case 1: return "^!";
    case 2: return "^/";
    case 3: return "^_";
    default: return "";
    }
}

// The user's own colour, or the shade's.
int box_colour(const RunSettings& settings) {
    if (settings.own_colour) return *settings.own_colour;
    const int i = settings.shade_index;
    const bool known = i >= 0 && i < static_cast<int>(kShades.size());
    return kShades[static_cast<std::size_t>(known ? i : kDefaultShade)];
}

// The text type's entry, or all zeros for a type the table does not have.
struct TypeEntry {
    double width = 0.0, height = 0.0, spacing = 0.0;
    int pen = 0;
};

TypeEntry type_entry(const TextTypes& t, int type) {
    if (!t.has(type)) return {};
    const auto i = static_cast<std::size_t>(type);
    return {t.width[i], t.height[i], t.spacing[i], t.pen[i]};
}

// The string that goes into the text record: prefix and the whole cleaned
// string; nothing is cut.
class DecoratedText {
  public:
    DecoratedText(int decoration, const char* cleaned) {
        const std::string_view prefix = decoration_prefix(decoration);
        const std::size_t length = std::strlen(cleaned);
        assert(length <= TextRecord::kCleanMax); // cleaned by clean_text
        std::memcpy(bytes_, prefix.data(), prefix.size());
        std::memcpy(bytes_ + prefix.size(), cleaned, length);
        size_ = prefix.size() + length;
    }
    std::string_view view() const { return {bytes_, size_}; }

  private:
    char bytes_[2 + TextRecord::kCleanMax];
    std::size_t size_;
};

// The text type's sizes and pen, and the options; a colour of the user's
// own shows where the shade's number would.
void trace_text_type(const RunSettings& settings, const TextTypes& types, const TypeEntry& type,
                     Output& console) {
    write<"#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (%.1f, %.1f, %.1f)  Moji(%d)\n">(
        console, type.width, type.height, type.spacing, types.in_force);
    if (settings.own_colour)
        write<"#        Pen is(%d)  CMD-option /c(#%06x)  /d(%d) /f(%d)\n">(
            console, type.pen, *settings.own_colour, settings.margin, settings.decoration);
    else
        write<"#        Pen is(%d)  CMD-option /c(%d)  /d(%d) /f(%d)\n">(
            console, type.pen, settings.shade_index, settings.margin, settings.decoration);
}

void trace_text_start(const TextRecord& text, const TextTypes& types, Output& console) {
    const TypeEntry free = type_entry(types, 0);
    write<"#----- Matte01() ---------- start\n"
          "#        input(ChSTR) = (%s)  MOJIS(%d)\n"
          "#        input(ChX,ChY)=(%.1f, %.1f) (ChDX,ChDY)=(%.1f, %.1f)\n"
          "#         Free cn0 size: W(%.1lf) H(%.1lf) D(%.1lf) Pen(%d)\n">(
        console, text.cleaned.data(), types.in_force, text.x, text.y, text.dx, text.dy, free.width,
        free.height, free.spacing, free.pen);
}

} // namespace

Box text_box(double x, double y, double dx, double dy, double h, double m) {
    const double L = std::sqrt(dx * dx + dy * dy);
    const double theta = maths::atan2(dy, dx);
    double s, c;
    maths::sin_cos(theta, s, c);
    // The two rotated terms are combined first, then added to the start
    // coordinate.
    return Box{
        x + (-m * c + m * s),
        y + (-m * c - m * s),
        x + ((L + m) * c + m * s),
        y + (-m * c + (L + m) * s),
        x + ((L + m) * c - (h + m) * s),
        y + ((L + m) * s + (h + m) * c),
        x + (-m * c - (h + m) * s),
        y + ((h + m) * c - m * s),
    };
}

namespace {

bool ends_text(unsigned char c) {
    return c == '\0' || c == '\r' || c == '\n';
}

} // namespace

// Whole characters only: a lead byte takes the next byte along, unless that
// byte ends the text, and a character that would cross the bound is left
// out whole, so the cut never leaves half a character before the line end
// (a Shift-JIS reader could take the CR as its second byte and run the text
// into the next record). A lead byte that the host's text itself ends with
// is copied as it stands: the text is the host's, byte for byte.
void clean_text(TextRecord& text) {
    const auto* raw = reinterpret_cast<const unsigned char*>(text.raw.data());
    char* clean = text.cleaned.data();
    // Most texts end, at their line end, before the bound: copied whole.
    std::size_t end = std::strcspn(text.raw.data(), "\r\n");
    if (end <= TextRecord::kCleanMax) {
        std::memcpy(clean, raw, end);
        clean[end] = '\0';
        return;
    }
    std::size_t n = 0;
    while (!ends_text(raw[n])) {
        const std::size_t width = is_lead_byte(raw[n]) && !ends_text(raw[n + 1]) ? 2 : 1;
        if (n + width > TextRecord::kCleanMax) break;
        for (std::size_t i = 0; i < width; ++i, ++n)
            clean[n] = static_cast<char>(raw[n]);
    }
    clean[n] = '\0';
}

void box_text(const RunSettings& settings, TextRecord& text, const TextTypes& types, Output& output,
              Output& console) {
    clean_text(text);
    write_boxed_text(settings, text, types, output, console);
}

void write_boxed_text(const RunSettings& settings, const TextRecord& text, const TextTypes& types,
                      Output& output, Output& console) {
    const bool trace = settings.debug_level == DebugLevel::text_trace;
    const TypeEntry type = type_entry(types, types.in_force);
    const int colour = box_colour(settings);

    if (trace) trace_text_start(text, types, console);
    write_rgb_colour_record(output, colour);
    if (trace) {
        if (settings.own_colour)
            write<"#   Solid(#%06x)  color-hex(#%x)\n">(console, colour, colour);
        else
            write<"#   Solid(%d)  color-hex(#%x)\n">(console, settings.shade_index, colour);
    }

    const Box b = text_box(text.x, text.y, text.dx, text.dy, type.height,
                           static_cast<double>(settings.margin));
    write_solid_record(output, b.x1, b.y1, b.x2, b.y2, b.x3, b.y3, b.x4, b.y4);
    if (trace) trace_text_type(settings, types, type, console);

    const DecoratedText decorated(settings.decoration, text.cleaned.data());
    if (trace)
        write<"#   iBOLD(%d)  str1=(%s)\n"
              "# ch %.6f %.6f %.6f %.6f \"%s\n">(console, settings.decoration, decorated.view(),
                                                 text.x, text.y, text.dx, text.dy,
                                                 decorated.view());
    write<"ch %.10f %.10f %.10f %.10f \"%s\n">(output, text.x, text.y, text.dx, text.dy,
                                               decorated.view());
}

} // namespace textmatte
