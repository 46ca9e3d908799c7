#include "interchange/reading.hpp"

#include "interchange/fields.hpp"

namespace textmatte {

void read_text_record(TextRecord& t, const Line& line) {
    t.MOJI_head[0] = line.at(0);
    t.MOJI_head[1] = line.at(1);
    scan(line.text, 2, "%lf %lf %lf %lf \"%260c",
         {&t.ChX, &t.ChY, &t.ChDX, &t.ChDY, TextField{t.ChSTR0.data(), TextRecord::kRawCapacity}});
}

TextTypeRecord read_text_type(TextTypes& t, const Line& line) {
    const char kind = line.at(2);
    if (kind == '"') return TextTypeRecord::none;
    if (kind == '0') {
        t.MOJIS = 0;
        scan(line.text, 3, "%lf %lf %lf %d",
             {&t.MOJI_W[0], &t.MOJI_H[0], &t.MOJI_D[0], &t.MOJI_C[0]});
        return TextTypeRecord::free_size;
    }
    scan(line.text, 2, "%d", {&t.MOJIS});
    return TextTypeRecord::numbered;
}

void read_text_type_table(TextTypes& t, const Line& line) {
    auto reals = [&](auto& col) {
        scan(line.text, 4, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf",
             {&col[1], &col[2], &col[3], &col[4], &col[5], &col[6], &col[7], &col[8], &col[9],
              &col[10]});
    };
    switch (line.at(2)) {
    case 'w': reals(t.MOJI_W); break;
    case 'h': reals(t.MOJI_H); break;
    case 'd': reals(t.MOJI_D); break;
    case 'c': {
        auto& c = t.MOJI_C;
        scan(line.text, 4, "%d %d %d %d %d %d %d %d %d %d",
             {&c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10]});
        break;
    }
    default: break;
    }
}

} // namespace textmatte
