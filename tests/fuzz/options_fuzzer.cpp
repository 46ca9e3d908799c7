// Fuzzes the option parser: the input is split at NUL bytes into arguments.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "options/options.hpp"

using namespace textmatte;

namespace {

// `text` is made only of repeats of `unit`.
bool repeats_of(const std::string& text, std::string_view unit) {
    for (std::size_t i = 0; i < text.size(); i += unit.size())
        if (std::string_view(text).substr(i, unit.size()) != unit) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    RunSettings s;
    StringSink out_bytes, err_bytes;
    Output out(out_bytes, LineEnds::lf), err(err_bytes, LineEnds::lf);
    for (const std::string& a : args)
        if (!a.empty() && (a[0] == '-' || a[0] == '/'))
            write_option_notice(apply_option(a.c_str(), s), out, err);
    out.flush();
    err.flush();
    check(s.debug_level >= DebugLevel::off && s.debug_level <= DebugLevel::options_only,
          "debug level out of range");
    check(s.shade_index >= 0 && s.shade_index <= 9, "shade out of range");
    check(!s.own_colour || (*s.own_colour >= 0 && *s.own_colour <= 0xffffff),
          "own colour out of range");
    check(s.margin >= -5 && s.margin <= 5, "margin out of range");
    check(s.decoration >= 0 && s.decoration <= 3, "decoration out of range");
    check(s.traced_number >= -8 && s.traced_number <= 8, "traced number out of range");
    check(repeats_of(err_bytes.bytes, "\n illegal Option.\n"), "unexpected error output");
    check(out_bytes.bytes.empty() ||
              out_bytes.bytes.rfind("# --- wSCLR=(", std::string::npos) != std::string::npos,
          "unexpected trace output");
    return 0;
}
