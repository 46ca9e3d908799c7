// Every line the program can say on standard error and every exit status
// it can end with: one table, which the reports write from and the users'
// documents are checked against.
#pragma once

#include <array>
#include <cassert>
#include <string_view>

#include "options/options.hpp"

namespace textmatte {

// The exit statuses of a run that is not ended by a signal.
enum class ExitStatus : int {
    complete = 0,    // the result replaced jwc_temp.txt; at debug levels, the output
                     // is complete in JWC_TEMP.$$$ and jwc_temp.txt as the host wrote it
    failed = 1,      // jwc_temp.txt as the host wrote it
    no_drawing = -1, // no drawing to read, or no output file to write the result to
    not_durable = 2, // the result replaced jwc_temp.txt, but the folder's sync failed
};

constexpr int exit_code(ExitStatus status) {
    return static_cast<int>(status);
}

// A run that a signal ends: by the signal itself, or, where its default
// would write a core file, and after every fault, with 128 + its number.
constexpr int kFaultStatusBase = 128;
// How Ctrl-C and the other console events end a console program on Windows.
constexpr unsigned kWindowsInterruptedStatus = 0xC000013A;

// The lines, as their formats. Each ends with a blank before the line end.
inline constexpr std::string_view kLineTail = " \n";
inline constexpr char kCannotOpen[] = "Cannot open file: %s \n";
inline constexpr char kCannotOpenHeld[] = "Cannot open file: %s (another program is using it) \n";
inline constexpr char kOutputLeft[] =
    "Cannot create file: JWC_TEMP.$$$ (left by an earlier run; delete it when no run is live) \n";
inline constexpr char kCannotRead[] = "Cannot read file: %s \n";
inline constexpr char kCannotWrite[] = "Cannot write file: %s \n";
inline constexpr char kCannotRename[] = "Cannot rename file: %s to %s \n";
inline constexpr char kCannotRenameHeld[] =
    "Cannot rename file: %s to %s (another program is using it) \n";
inline constexpr char kCannotLock[] = "Cannot lock file: jwc_temp.txt (another run is using it) \n";
inline constexpr char kCannotTakeOver[] =
    "Cannot take over file: jwc_temp.txt (it is a link to %s) \n";
inline constexpr char kCannotReplace[] =
    "Cannot replace file: jwc_temp.txt (it changed during the run) \n";
inline constexpr char kCannotSyncFolder[] =
    "Cannot sync folder: the result is in jwc_temp.txt but may not survive a power loss \n";
inline constexpr char kTooManyLines[] = "Too many lines: jwc_temp.txt has more than %u lines \n";
inline constexpr char kOutOfMemory[] = "Out of memory \n";
inline constexpr char kUnexpected[] = "%s \n"; // what the error itself says
inline constexpr char kInterrupted[] = "Interrupted: jwc_temp.txt is as it was before the run \n";
inline constexpr char kInterruptedLeftUnder[] = "Interrupted: the drawing is left under %s \n";
inline constexpr char kStoppedBefore[] =
    "Stopped by signal %d: jwc_temp.txt is as it was before the run \n";
inline constexpr char kStoppedAfter[] =
    "Stopped by signal %d after the result replaced jwc_temp.txt \n";

// Every report a run can make.
enum class Report {
    no_drawing,       // jwc_temp.txt missing, or not a regular file
    no_output_file,   // the output file cannot be created
    output_left,      // ... because an earlier run's output is there and cannot be removed safely
    cannot_open,      // a file cannot be opened or created
    held_open,        // ... because another program holds it (Windows)
    cannot_read,      //
    cannot_write,     // writing, syncing or closing the output
    cannot_rename,    //
    held_rename,      // ... because another program holds a file (Windows)
    locked,           // another run holds the directory, or took it from this run
    link_to_own,      // jwc_temp.txt leads through one of the program's names
    changed,          // jwc_temp.txt was changed or replaced during the run
    not_durable,      // the folder's sync failed after the result replaced jwc_temp.txt
    too_many_lines,   //
    out_of_memory,    //
    unexpected,       // any other error, in its own words
    interrupted,      // an interrupt stopped the run
    interrupted_left, // ... and the drawing could not get its name back (Windows)
    fault_before,     // a fault signal (SIGSEGV, SIGABRT ...) stopped the run
    fault_after,      // ... after the result had replaced jwc_temp.txt
    illegal_option,   // an option with an unknown letter; the run goes on
    count_of_reports, // not a report: how many there are, for the check below
};

// How a report's exit status is found.
enum class StatusRule {
    fixed,     // the row's status
    by_signal, // the interrupt's own (the Ctrl-C exit code on Windows)
    fault,     // 128 + the signal
    none,      // the run goes on
};

// Where a report can be made: some failures exist on one system only.
enum class Platforms {
    every,
    linux_only,   // POSIX: folder syncs, faults caught by the program
    windows_only, // files held by other programs, the drawing's moves
};

// Whether a line says the system's reason for the failure, where the
// system gave one: in parentheses before the closing blank and line end,
// "Cannot write file: JWC_TEMP.$$$ (No space left on device) ". The
// program's own findings keep their words alone, and so do the two lines a
// host has always seen for a missing drawing and an output that cannot be
// created.
enum class Reason {
    none,
    system,
};

// What a line names, in the order of its format's conversions.
enum class Fills {
    nothing,
    name,            // the failure's file
    name_and_target, // a rename's source and where it was to go
    piece_limit,     // the line limit
    detail,          // an unexpected error's own words
    said_elsewhere,  // by the fault handler or the options, not as a failure
};

struct MessageRow {
    Report report;
    std::string_view format;
    Fills fills;
    StatusRule rule;
    ExitStatus status; // for StatusRule::fixed
    Platforms platforms = Platforms::every;
    Reason reason = Reason::none;
};

inline constexpr std::array kMessages = {
    MessageRow{Report::no_drawing, kCannotOpen, Fills::name, StatusRule::fixed,
               ExitStatus::no_drawing},
    MessageRow{Report::no_output_file, kCannotOpen, Fills::name, StatusRule::fixed,
               ExitStatus::no_drawing},
    MessageRow{Report::output_left, kOutputLeft, Fills::nothing, StatusRule::fixed,
               ExitStatus::no_drawing},
    MessageRow{Report::cannot_open, kCannotOpen, Fills::name, StatusRule::fixed, ExitStatus::failed,
               Platforms::every, Reason::system},
    MessageRow{Report::held_open, kCannotOpenHeld, Fills::name, StatusRule::fixed,
               ExitStatus::failed, Platforms::windows_only},
    MessageRow{Report::cannot_read, kCannotRead, Fills::name, StatusRule::fixed, ExitStatus::failed,
               Platforms::every, Reason::system},
    MessageRow{Report::cannot_write, kCannotWrite, Fills::name, StatusRule::fixed,
               ExitStatus::failed, Platforms::every, Reason::system},
    MessageRow{Report::cannot_rename, kCannotRename, Fills::name_and_target, StatusRule::fixed,
               ExitStatus::failed, Platforms::every, Reason::system},
    MessageRow{Report::held_rename, kCannotRenameHeld, Fills::name_and_target, StatusRule::fixed,
               ExitStatus::failed, Platforms::windows_only},
    MessageRow{Report::locked, kCannotLock, Fills::nothing, StatusRule::fixed, ExitStatus::failed},
    MessageRow{Report::link_to_own, kCannotTakeOver, Fills::name, StatusRule::fixed,
               ExitStatus::failed},
    MessageRow{Report::changed, kCannotReplace, Fills::nothing, StatusRule::fixed,
               ExitStatus::failed},
    MessageRow{Report::not_durable, kCannotSyncFolder, Fills::nothing, StatusRule::fixed,
               ExitStatus::not_durable, Platforms::linux_only},
    MessageRow{Report::too_many_lines, kTooManyLines, Fills::piece_limit, StatusRule::fixed,
               ExitStatus::failed},
    MessageRow{Report::out_of_memory, kOutOfMemory, Fills::nothing, StatusRule::fixed,
               ExitStatus::failed},
    MessageRow{Report::unexpected, kUnexpected, Fills::detail, StatusRule::fixed,
               ExitStatus::failed},
    MessageRow{Report::interrupted, kInterrupted, Fills::nothing, StatusRule::by_signal,
               ExitStatus::failed},
    MessageRow{Report::interrupted_left, kInterruptedLeftUnder, Fills::name, StatusRule::by_signal,
               ExitStatus::failed, Platforms::windows_only},
    MessageRow{Report::fault_before, kStoppedBefore, Fills::said_elsewhere, StatusRule::fault,
               ExitStatus::failed, Platforms::linux_only},
    MessageRow{Report::fault_after, kStoppedAfter, Fills::said_elsewhere, StatusRule::fault,
               ExitStatus::failed, Platforms::linux_only},
    MessageRow{Report::illegal_option, kIllegalOptionLine, Fills::said_elsewhere, StatusRule::none,
               ExitStatus::complete},
};

// One row for each report, in the reports' order: a report added without
// its row, or a row out of place, does not compile.
constexpr bool every_report_has_its_row() {
    if (kMessages.size() != static_cast<std::size_t>(Report::count_of_reports)) return false;
    for (std::size_t i = 0; i < kMessages.size(); ++i)
        if (static_cast<std::size_t>(kMessages[i].report) != i) return false;
    return true;
}
static_assert(every_report_has_its_row(), "kMessages lists every report, in their order");

constexpr const MessageRow& row_of(Report report) {
    assert(report < Report::count_of_reports);
    return kMessages[static_cast<std::size_t>(report)]; // in place: checked above
}

// The status a fixed report ends the run with.
constexpr ExitStatus status_of(Report report) {
    return row_of(report).status;
}

// The two pieces of a line around its one number, for a signal handler that
// writes them without formatting.
struct AroundNumber {
    std::string_view before;
    std::string_view after;
};
constexpr AroundNumber around_number(std::string_view format) {
    const std::size_t at = format.find("%d");
    return {format.substr(0, at), format.substr(at + 2)};
}

} // namespace textmatte
