// Texts of a drawing are Shift-JIS (code page 932) bytes; the picture is
// UTF-8. The platform's own converter does the work.
#pragma once

#include <string>
#include <string_view>

namespace textmatte::preview {

// Converts character by character; a byte sequence that does not convert,
// and any control character, becomes U+FFFD, so the result is always valid
// UTF-8 that XML allows.
std::string shift_jis_to_utf8(std::string_view bytes);

} // namespace textmatte::preview
