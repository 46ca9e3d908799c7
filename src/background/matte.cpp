#include "background/matte.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "background/angle.hpp"
#include "interchange/format.hpp"
#include "interchange/records.hpp"

namespace textmatte {

namespace {

constexpr int kTraceLevel = 2;

// Decoration prefixes by iBOLD; 0 and anything unknown leave the text bare.
const char* decoration(int iBOLD) {
    switch (iBOLD) {
    case 1: return "^!";
    case 2: return "^/";
    case 3: return "^_";
    default: return "";
    }
}

int shade_index(int iGRAY) {
    return iGRAY >= 0 && iGRAY <= 9 ? iGRAY : kDefaultShade;
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

} // namespace

Box text_box(double x, double y, double dx, double dy, double h, double m) {
    const double L = std::sqrt(dx * dx + dy * dy);
    const double theta = direction_angle(dy, dx);
    double s, c;
    sine_cosine(theta, s, c);
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

void clean_text(TextRecord& t) {
    const char* raw = t.ChSTR0.data();
    char* clean = t.ChSTR.data();
    std::size_t n = 0;
    while (n < TextRecord::kCleanMax && raw[n] != '\0' && raw[n] != '\r' && raw[n] != '\n') {
        clean[n] = raw[n];
        ++n;
    }
    clean[n] = '\0';
}

void CHR_PRO(RunState& run, Output& fpw, Output& out) {
    clean_text(run.text);
    Matte01(run, fpw, out);
}

void Matte01(const RunState& run, Output& fpw, Output& out) {
    const RunSettings& set = run.settings;
    const TextRecord& t = run.text;
    const bool trace = set.isTest == kTraceLevel;
    const TypeEntry type = type_entry(run.types, run.types.MOJIS);
    const int shade = inGRAY[static_cast<std::size_t>(shade_index(set.iGRAY))];

    if (trace) {
        print(out, "#----- Matte01() ---------- start\n");
        print(out, "#        input(ChSTR) = (%s)  MOJIS(%d)\n", {t.ChSTR.data(), run.types.MOJIS});
        print(out, "#        input(ChX,ChY)=(%.1f, %.1f) (ChDX,ChDY)=(%.1f, %.1f)\n",
              {t.ChX, t.ChY, t.ChDX, t.ChDY});
        const TypeEntry free = type_entry(run.types, 0);
        print(out, "#         Free cn0 size: W(%.1lf) H(%.1lf) D(%.1lf) Pen(%d)\n",
              {free.w, free.h, free.d, free.pen});
    }
    S16RGBout(fpw, shade);
    if (trace) print(out, "#   Solid(%d)  color-hex(#%x)\n", {set.iGRAY, shade});

    const Box b = text_box(t.ChX, t.ChY, t.ChDX, t.ChDY, type.h, static_cast<double>(set.iBACK));
    SL4out(fpw, b.x1, b.y1, b.x2, b.y2, b.x3, b.y3, b.x4, b.y4);
    if (trace) {
        print(out, "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (%.1f, %.1f, %.1f)  Moji(%d)\n",
              {type.w, type.h, type.d, run.types.MOJIS});
        print(out, "#        Pen is(%d)  CMD-option /c(%d)  /d(%d) /f(%d)\n",
              {type.pen, set.iGRAY, set.iBACK, set.iBOLD});
    }

    // Prefix and the whole cleaned string; nothing is cut.
    char decorated[2 + TextRecord::kCleanMax + 1];
    const char* prefix = decoration(set.iBOLD);
    const std::size_t prefix_len = std::strlen(prefix);
    std::memcpy(decorated, prefix, prefix_len);
    std::memcpy(decorated + prefix_len, t.ChSTR.data(), std::strlen(t.ChSTR.data()) + 1);

    if (trace) {
        print(out, "#   iBOLD(%d)  str1=(%s)\n", {set.iBOLD, decorated});
        print(out, "# ch %.6f %.6f %.6f %.6f \"%s\n", {t.ChX, t.ChY, t.ChDX, t.ChDY, decorated});
    }
    print(fpw, "ch %.10f %.10f %.10f %.10f \"%s\n", {t.ChX, t.ChY, t.ChDX, t.ChDY, decorated});
}

} // namespace textmatte
