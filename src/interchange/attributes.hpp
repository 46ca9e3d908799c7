// First-seen attribute values and the trailer that restores them.
//
// While the file is scanned, the first value of colour, line type, layer,
// layer group, pen and text type (or free text size) is latched; after the
// scan the trailer writes them again, so the last attribute records of the
// output carry the values that came first in the input. An attribute never
// seen comes out as 20 (a pen or text type never seen not at all), and a
// first value of 20 is not kept: the next record of its kind is latched
// instead (FirstSeen).
#pragma once

#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// Takes `current` into `latched` unless it already holds a first value.
inline void latch(FirstSeen& latched, int current) {
    latched.offer(current);
}

// Latches a text-type record's type.
void latch_text_type(Attributes& a, const TextTypes& types);
// Latches a free-size text-type record: type 0 and the entry-0 sizes.
void latch_free_size(Attributes& a, TextTypes& types);

// Writes the trailer: the free-size line when a free size with a positive
// width was latched, the text-type line when the latched type is not 0 and
// at most 10, then layer group, layer, line type, colour, and the pen when
// it is 9 or less.
void write_trailer(const Attributes& a, Output& output);

} // namespace textmatte
