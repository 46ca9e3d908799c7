#include "interchange/attributes.hpp"

#include "interchange/format.hpp"

namespace textmatte {

void latch_text_type(Attributes& a, const TextTypes& types) {
    latch(a.MOJISi, types.MOJIS);
}

void latch_free_size(Attributes& a, TextTypes& types) {
    if (a.MOJISi != Attributes::kSentinel) return;
    a.MOJISi = 0;
    types.MOJIS = 0;
    a.MOJIWi = types.MOJI_W[0];
    a.MOJIHi = types.MOJI_H[0];
    a.MOJIDi = types.MOJI_D[0];
    a.MOJICi = types.MOJI_C[0];
}

void IniZokusei(const Attributes& a, Output& output) {
    if (a.MOJIWi > 0.0) // false for a width that is not a number
        write<"cn0 %.2f %.2f %.2f %d\n">(output, a.MOJIWi, a.MOJIHi, a.MOJIDi, a.MOJICi);
    if (a.MOJISi != 0 && a.MOJISi <= 10) write<"cn%d\n">(output, a.MOJISi);
    write<"lg%x\nly%x\nlt%d\nlc%d\n">(output, a.GROUPi, a.LAYERi, a.TYPEi, a.COLORi);
    if (a.TENSi <= 9) write<"pn%d\n">(output, a.TENSi);
}

} // namespace textmatte
