#include "interchange/reading.hpp"

#include "interchange/fields.hpp"

namespace textmatte {

void read_text_record(TextRecord& t, const LinePiece& line) {
    FieldReader f(line.text(), 2);
    f.real(t.x) && f.real(t.y) && f.real(t.dx) && f.real(t.dy) && f.space() && f.literal('"') &&
        f.rest(t.raw);
}

TextTypeRecord read_text_type(TextTypes& t, const LinePiece& line) {
    const char kind = line.at(2);
    if (kind == '"') return TextTypeRecord::none;
    if (kind == '0') {
        t.in_force = 0;
        FieldReader f(line.text(), 3);
        f.real(t.width[0]) && f.real(t.height[0]) && f.real(t.spacing[0]) && f.decimal(t.pen[0]);
        return TextTypeRecord::free_size;
    }
    FieldReader(line.text(), 2).decimal(t.in_force);
    return TextTypeRecord::numbered;
}

void read_text_type_table(TextTypes& t, const LinePiece& line) {
    // Ten values for types 1 to 10; fewer leave the later entries as they were.
    FieldReader f(line.text(), 4);
    auto reals = [&f](std::array<double, TextTypes::kEntries>& column) {
        for (std::size_t i = 1; i < column.size() && f.real(column[i]); ++i) {
        }
    };
    switch (line.at(2)) {
    case 'w': reals(t.width); break;
    case 'h': reals(t.height); break;
    case 'd': reals(t.spacing); break;
    case 'c':
        for (std::size_t i = 1; i < t.pen.size() && f.decimal(t.pen[i]); ++i) {
        }
        break;
    default: break;
    }
}

} // namespace textmatte
