#include "interchange/reading.hpp"

#include "interchange/fields.hpp"

namespace textmatte {

void read_text_record(TextRecord& t, const Line& line) {
    FieldReader f(line.text(), 2);
    f.real(t.ChX) && f.real(t.ChY) && f.real(t.ChDX) && f.real(t.ChDY) && f.space() &&
        f.literal('"') && f.rest(t.ChSTR0.data(), TextRecord::kRawCapacity);
}

TextTypeRecord read_text_type(TextTypes& t, const Line& line) {
    const char kind = line.at(2);
    if (kind == '"') return TextTypeRecord::none;
    if (kind == '0') {
        t.MOJIS = 0;
        FieldReader f(line.text(), 3);
        f.real(t.MOJI_W[0]) && f.real(t.MOJI_H[0]) && f.real(t.MOJI_D[0]) && f.decimal(t.MOJI_C[0]);
        return TextTypeRecord::free_size;
    }
    FieldReader(line.text(), 2).decimal(t.MOJIS);
    return TextTypeRecord::numbered;
}

void read_text_type_table(TextTypes& t, const Line& line) {
    // Ten values for types 1 to 10; fewer leave the later entries as they were.
    FieldReader f(line.text(), 4);
    auto reals = [&f](std::array<double, TextTypes::kEntries>& column) {
        for (std::size_t i = 1; i < column.size() && f.real(column[i]); ++i) {
        }
    };
    switch (line.at(2)) {
    case 'w': reals(t.MOJI_W); break;
    case 'h': reals(t.MOJI_H); break;
    case 'd': reals(t.MOJI_D); break;
    case 'c':
        for (std::size_t i = 1; i < t.MOJI_C.size() && f.decimal(t.MOJI_C[i]); ++i) {
        }
        break;
    default: break;
    }
}

} // namespace textmatte
