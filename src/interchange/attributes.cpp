#include "interchange/attributes.hpp"

#include "interchange/format.hpp"

namespace textmatte {

void latch_text_type(Attributes& a, const TextTypes& types) {
    latch(a.first_text_type, types.in_force);
}

void latch_free_size(Attributes& a, TextTypes& types) {
    if (a.first_text_type != Attributes::kNotSeen) return;
    a.first_text_type = 0;
    types.in_force = 0;
    a.first_free_width = types.width[0];
    a.first_free_height = types.height[0];
    a.first_free_spacing = types.spacing[0];
    a.first_free_pen = types.pen[0];
}

void write_trailer(const Attributes& a, Output& output) {
    if (a.first_free_width > 0.0) // false for a width that is not a number
        write<"cn0 %.2f %.2f %.2f %d\n">(output, a.first_free_width, a.first_free_height,
                                         a.first_free_spacing, a.first_free_pen);
    if (a.first_text_type != 0 && a.first_text_type <= 10)
        write<"cn%d\n">(output, a.first_text_type);
    write<"lg%x\nly%x\nlt%d\nlc%d\n">(output, a.first_layer_group, a.first_layer, a.first_line_type,
                                      a.first_colour);
    if (a.first_pen <= 9) write<"pn%d\n">(output, a.first_pen);
}

} // namespace textmatte
