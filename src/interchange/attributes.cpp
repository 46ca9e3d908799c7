#include "interchange/attributes.hpp"

#include "interchange/format.hpp"

namespace textmatte {

void latch_text_type(Attributes& a, const TextTypes& types) {
    latch(a.first_text_type, types.in_force);
}

void latch_free_size(Attributes& a, TextTypes& types) {
    if (a.first_text_type.held()) return;
    a.first_text_type.offer(0);
    types.in_force = 0;
    a.first_free_size = FreeSize{types.width[0], types.height[0], types.spacing[0], types.pen[0]};
}

void write_trailer(const Attributes& a, Output& output) {
    const FreeSize* free = a.first_free_size ? &*a.first_free_size : nullptr;
    if (free && free->width > 0.0) // false for a width that is not a number
        write<"cn0 %.2f %.2f %.2f %d\n">(output, free->width, free->height, free->spacing,
                                         free->pen);
    const int text_type = a.first_text_type.value();
    if (text_type != 0 && text_type <= 10) write<"cn%d\n">(output, text_type);
    write<"lg%x\nly%x\nlt%d\nlc%d\n">(output, a.first_layer_group.value(), a.first_layer.value(),
                                      a.first_line_type.value(), a.first_colour.value());
    if (a.first_pen.value() <= 9) write<"pn%d\n">(output, a.first_pen.value());
}

} // namespace textmatte
