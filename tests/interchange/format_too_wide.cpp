// Must not compile: "%012x" asks for twelve digits, but a 32-bit value has
// at most eight, and write() would write fewer than asked. Compiled only by
// the test Format.AHexWidthAboveEightDoesNotCompile, which expects write()'s
// message.
#include "interchange/format.hpp"

void write_too_wide(textmatte::Output& out) {
    textmatte::write<"%012x">(out, 1);
}
