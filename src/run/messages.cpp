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

} // namespace

void write_failure(const Failure& f, Output& errors) {
    switch (f.report) {
    case Report::no_drawing:
    case Report::no_output_file:
    case Report::cannot_open: say<kCannotOpen>(f, errors, f.name); break;
    case Report::output_left: write<kOutputLeft>(errors); break;
    case Report::held_open: write<kCannotOpenHeld>(errors, f.name); break;
    case Report::cannot_read: say<kCannotRead>(f, errors, f.name); break;
    case Report::cannot_write: say<kCannotWrite>(f, errors, f.name); break;
    case Report::cannot_rename: say<kCannotRename>(f, errors, f.name, f.rename_to); break;
    case Report::held_rename: write<kCannotRenameHeld>(errors, f.name, f.rename_to); break;
    case Report::locked: write<kCannotLock>(errors); break;
    case Report::link_to_own: write<kCannotTakeOver>(errors, f.name); break;
    case Report::changed: write<kCannotReplace>(errors); break;
    case Report::not_durable: write<kCannotSyncFolder>(errors); break;
    case Report::too_many_lines: write<kTooManyLines>(errors, kPieceLimit); break;
    case Report::out_of_memory: write<kOutOfMemory>(errors); break;
    case Report::unexpected: write<kUnexpected>(errors, f.detail); break;
    case Report::interrupted: write<kInterrupted>(errors); break;
    case Report::interrupted_left: write<kInterruptedLeftUnder>(errors, f.name); break;
    // Said by the fault handler and the options themselves, never as a
    // failure; the last is no report at all.
    case Report::fault_before:
    case Report::fault_after:
    case Report::illegal_option:
    case Report::count_of_reports: break;
    }
}

} // namespace textmatte
