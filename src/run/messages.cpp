#include <array>
#include <cassert>
#include <utility>

#include "interchange/format.hpp"
#include "interchange/piece_limit.hpp"
#include "run/failure.hpp"

namespace textmatte {

namespace {

constexpr std::string_view kReasonSlot = " (%s)";

// A line's format with a slot for the system's reason before its closing
// blank and line end: "Cannot write file: %s (%s) \n".
template <Format F> consteval auto with_reason() {
    constexpr std::string_view line(F.chars, F.length);
    static_assert(line.ends_with(kLineTail), "a line ends with a blank and its line end");
    constexpr std::size_t words = F.length - kLineTail.size();
    struct Chars {
        char text[F.length + kReasonSlot.size() + 1];
    } made{};
    std::size_t at = 0;
    for (char c : line.substr(0, words))
        made.text[at++] = c;
    for (char c : kReasonSlot)
        made.text[at++] = c;
    for (char c : kLineTail)
        made.text[at++] = c;
    return Format(made.text);
}

// The row's line, with the system's reason where the row says one and the
// failure has it.
template <Format F, typename... Args>
void say(const Failure& f, Output& errors, const Args&... args) {
    if (f.system_error != 0 && row_of(f.report).reason == Reason::system)
        write<with_reason<F>()>(errors, args..., system_reason(f.system_error));
    else
        write<F>(errors, args...);
}

// A row's line as a format checked at compile time against what the row
// fills it with.
template <std::size_t Row> consteval auto row_format() {
    constexpr std::string_view line = kMessages[Row].format;
    struct Chars {
        char text[line.size() + 1];
    } made{};
    for (std::size_t i = 0; i < line.size(); ++i)
        made.text[i] = line[i];
    return Format(made.text);
}

template <std::size_t Row> void say_row(const Failure& f, Output& errors) {
    constexpr Fills fills = kMessages[Row].fills;
    if constexpr (fills != Fills::said_elsewhere) {
        constexpr auto format = row_format<Row>();
        if constexpr (fills == Fills::nothing) say<format>(f, errors);
        if constexpr (fills == Fills::name) say<format>(f, errors, f.name);
        if constexpr (fills == Fills::name_and_target) say<format>(f, errors, f.name, f.rename_to);
        if constexpr (fills == Fills::piece_limit) say<format>(f, errors, kPieceLimit);
        if constexpr (fills == Fills::detail) say<format>(f, errors, f.detail);
    }
}

using Sayer = void (*)(const Failure&, Output&);

template <std::size_t... Rows>
constexpr std::array<Sayer, sizeof...(Rows)> sayers(std::index_sequence<Rows...>) {
    return {&say_row<Rows>...};
}

// Each report's line, from its row and nowhere else.
constexpr auto kSayers = sayers(std::make_index_sequence<kMessages.size()>{});

} // namespace

void write_failure(const Failure& f, Output& errors) {
    assert(f.report < Report::count_of_reports);
    kSayers[static_cast<std::size_t>(f.report)](f, errors);
}

} // namespace textmatte
