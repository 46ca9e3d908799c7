// Must not compile: a literal piece of 8193 bytes, longer than the output's
// smallest buffer, which write() could never claim at once. Compiled only by
// the test Format.APieceLongerThanTheSmallestBufferDoesNotCompile, which
// expects write()'s message.
#include "interchange/format.hpp"

#define BYTES_8 "........"
#define BYTES_64 BYTES_8 BYTES_8 BYTES_8 BYTES_8 BYTES_8 BYTES_8 BYTES_8 BYTES_8
#define BYTES_512 BYTES_64 BYTES_64 BYTES_64 BYTES_64 BYTES_64 BYTES_64 BYTES_64 BYTES_64
#define BYTES_4096 BYTES_512 BYTES_512 BYTES_512 BYTES_512 BYTES_512 BYTES_512 BYTES_512 BYTES_512

void write_too_long(textmatte::Output& out) {
    textmatte::write<BYTES_4096 BYTES_4096 "!">(out);
}
