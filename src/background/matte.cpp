#include "background/matte.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "interchange/format.hpp"
#include "interchange/records.hpp"
#include "maths/directions.hpp"

namespace textmatte {

namespace {

// Decoration prefixes by iBOLD; 0 and anything unknown leave the text bare.
std::string_view decoration(int iBOLD) {
    switch (iBOLD) {
    case 1: return "^!";
    case 2: return "^/";
    case 3: return "^_";
    default: return "";
    }
}

int shade(int iGRAY) {
    const bool known = iGRAY >= 0 && iGRAY < static_cast<int>(kShades.size());
    return kShades[static_cast<std::size_t>(known ? iGRAY : kDefaultShade)];
}

// The text type's entry, or all zeros for a type the table does not have.
struct TypeEntry {
    double w = 0.0, h = 0.0, d = 0.0;
    int pen = 0;
};

TypeEntry type_entry(const TextTypes& t, int type) {
    if (!t.has(type)) return {};
    const auto i = static_cast<std::size_t>(type);
    return {t.MOJI_W[i], t.MOJI_H[i], t.MOJI_D[i], t.MOJI_C[i]};
}

// The string that goes into the text record: prefix and the whole cleaned
// string; nothing is cut.
class DecoratedText {
  public:
    DecoratedText(int iBOLD, const char* cleaned) {
        const std::string_view prefix = decoration(iBOLD);
        const std::size_t length = std::strlen(cleaned);
        std::memcpy(bytes_, prefix.data(), prefix.size());
        std::memcpy(bytes_ + prefix.size(), cleaned, length);
        size_ = prefix.size() + length;
    }
    std::string_view view() const { return {bytes_, size_}; }

  private:
    char bytes_[2 + TextRecord::kCleanMax];
    std::size_t size_;
};

void trace_text_start(const TextRecord& t, const TextTypes& types, Output& console) {
    const TypeEntry free = type_entry(types, 0);
    write<"#----- Matte01() ---------- start\n"
          "#        input(ChSTR) = (%s)  MOJIS(%d)\n"
          "#        input(ChX,ChY)=(%.1f, %.1f) (ChDX,ChDY)=(%.1f, %.1f)\n"
          "#         Free cn0 size: W(%.1lf) H(%.1lf) D(%.1lf) Pen(%d)\n">(
        console, t.ChSTR.data(), types.MOJIS, t.ChX, t.ChY, t.ChDX, t.ChDY, free.w, free.h, free.d,
        free.pen);
}

} // namespace

Box text_box(double x, double y, double dx, double dy, double h, double m) {
    const double L = std::sqrt(dx * dx + dy * dy);
    const double theta = maths::atan2(dy, dx);
    double s, c;
    maths::sin_cos(theta, s, c);
    // Rotated terms first, the start coordinate last.
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

// The first byte of a two-byte Shift-JIS character.
bool is_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

} // namespace

// Whole characters only: a lead byte takes the next byte along, unless that
// byte ends the text, and a character that would cross the bound is left
// out whole, so a Shift-JIS reader never sees a lead byte before the line
// end (it could take the CR as the character's second byte and run the
// text into the next record).
void clean_text(TextRecord& text) {
    const auto* raw = reinterpret_cast<const unsigned char*>(text.ChSTR0.data());
    char* clean = text.ChSTR.data();
    // Most texts end, at their line end, before the bound: copied whole.
    std::size_t end = std::strcspn(text.ChSTR0.data(), "\r\n");
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

void CHR_PRO(const RunSettings& settings, TextRecord& text, const TextTypes& types, Output& output,
             Output& console) {
    clean_text(text);
    Matte01(settings, text, types, output, console);
}

void Matte01(const RunSettings& set, const TextRecord& t, const TextTypes& types, Output& output,
             Output& console) {
    const bool trace = set.isTest == DebugLevel::text_trace;
    const TypeEntry type = type_entry(types, types.MOJIS);
    const int grey = shade(set.iGRAY);

    if (trace) trace_text_start(t, types, console);
    S16RGBout(output, grey);
    if (trace) write<"#   Solid(%d)  color-hex(#%x)\n">(console, set.iGRAY, grey);

    const Box b = text_box(t.ChX, t.ChY, t.ChDX, t.ChDY, type.h, static_cast<double>(set.iBACK));
    SL4out(output, b.x1, b.y1, b.x2, b.y2, b.x3, b.y3, b.x4, b.y4);
    if (trace)
        write<"#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (%.1f, %.1f, %.1f)  Moji(%d)\n"
              "#        Pen is(%d)  CMD-option /c(%d)  /d(%d) /f(%d)\n">(
            console, type.w, type.h, type.d, types.MOJIS, type.pen, set.iGRAY, set.iBACK,
            set.iBOLD);

    const DecoratedText decorated(set.iBOLD, t.ChSTR.data());
    if (trace)
        write<"#   iBOLD(%d)  str1=(%s)\n"
              "# ch %.6f %.6f %.6f %.6f \"%s\n">(console, set.iBOLD, decorated.view(), t.ChX, t.ChY,
                                                 t.ChDX, t.ChDY, decorated.view());
    write<"ch %.10f %.10f %.10f %.10f \"%s\n">(output, t.ChX, t.ChY, t.ChDX, t.ChDY,
                                               decorated.view());
}

} // namespace textmatte
