#include "interchange/format.hpp"
#include "interchange/piece_limit.hpp"
#include "run/failure.hpp"

namespace textmatte {

void write_failure(const Failure& f, Output& errors) {
    switch (f.report) {
    case Report::no_drawing:
    case Report::no_output_file:
    case Report::cannot_open: write<kCannotOpen>(errors, f.name); break;
    case Report::output_left: write<kOutputLeft>(errors); break;
    case Report::held_open: write<kCannotOpenHeld>(errors, f.name); break;
    case Report::cannot_read: write<kCannotRead>(errors, f.name); break;
    case Report::cannot_write: write<kCannotWrite>(errors, f.name); break;
    case Report::cannot_rename: write<kCannotRename>(errors, f.name, f.other); break;
    case Report::held_rename: write<kCannotRenameHeld>(errors, f.name, f.other); break;
    case Report::locked: write<kCannotLock>(errors); break;
    case Report::link_to_own: write<kCannotTakeOver>(errors, f.other); break;
    case Report::changed: write<kCannotReplace>(errors); break;
    case Report::not_durable: write<kCannotSyncFolder>(errors); break;
    case Report::too_many_lines: write<kTooManyLines>(errors, kPieceLimit); break;
    case Report::out_of_memory: write<kOutOfMemory>(errors); break;
    case Report::unexpected: write<kUnexpected>(errors, f.detail); break;
    case Report::interrupted: write<kInterrupted>(errors); break;
    case Report::interrupted_left: write<kInterruptedLeftUnder>(errors, f.other); break;
    // Said by the fault handler and the options themselves, never as a
    // failure; the last is no report at all.
    case Report::fault_before:
    case Report::fault_after:
    case Report::illegal_option:
    case Report::count_of_reports: break;
    }
}

} // namespace textmatte
