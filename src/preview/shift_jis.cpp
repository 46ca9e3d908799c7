#include "preview/shift_jis.hpp"

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "interchange/shift_jis.hpp"

namespace textmatte::preview {

namespace {

constexpr const char* kReplacement = "\xef\xbf\xbd"; // U+FFFD

// Converts one character (one or two bytes); false if it does not convert.
bool convert_one(std::string_view unit, std::string& out);

#if defined(_WIN32)
bool convert_one(std::string_view unit, std::string& out) {
    wchar_t wide[4];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, unit.data(),
                                      static_cast<int>(unit.size()), wide, 4);
    if (n <= 0) return false;
    char utf8[16];
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
    if (m <= 0) return false;
    out.append(utf8, static_cast<std::size_t>(m));
    return true;
}
#else
class Iconv {
  public:
    Iconv() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    bool convert(std::string_view unit, std::string& out) {
        if (!ok()) return false;
        char in[2] = {unit[0], unit.size() > 1 ? unit[1] : '\0'};
        char utf8[16];
        char* inp = in;
        char* outp = utf8;
        std::size_t in_left = unit.size(), out_left = sizeof utf8;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // a fresh state each time
        if (iconv(cd_, &inp, &in_left, &outp, &out_left) == static_cast<std::size_t>(-1) ||
            in_left != 0)
            return false;
        out.append(utf8, static_cast<std::size_t>(outp - utf8));
        return true;
    }

  private:
    iconv_t cd_;
};

bool convert_one(std::string_view unit, std::string& out) {
    static Iconv converter;
    return converter.convert(unit, out);
}
#endif

// A converted character XML cannot carry, or that would not show.
bool is_unwanted(const std::string& utf8) {
    if (utf8.size() != 1 && utf8.size() != 2) return false;
    const auto c = static_cast<unsigned char>(utf8[0]);
    if (utf8.size() == 1) return c < 0x20 || c == 0x7f;
    return c == 0xc2 && static_cast<unsigned char>(utf8[1]) < 0xa0; // C1 controls
}

} // namespace

std::string shift_jis_to_utf8(std::string_view bytes) {
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t n = is_lead_byte(c) && i + 1 < bytes.size() ? 2 : 1;
        std::string one;
        if (!convert_one(bytes.substr(i, n), one) || is_unwanted(one)) {
            one = kReplacement;
            n = 1; // resynchronise on the next byte
        }
        out += one;
        i += n;
    }
    return out;
}

} // namespace textmatte::preview
