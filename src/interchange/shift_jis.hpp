// The texts of the interchange file are Shift-JIS (code page 932) bytes.
#pragma once

namespace textmatte {

// The first byte of a two-byte Shift-JIS character.
inline bool is_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

} // namespace textmatte
