// Why a run could not complete: a value that travels up to the one place
// that decides how the run ends (RunEnding), which reports it.
#pragma once

#include <optional>
#include <string>

#include "files/files.hpp"
#include "interchange/output.hpp"
#include "run/messages.hpp"

namespace textmatte {

struct Failure {
    Report report = Report::unexpected;
    const char* name = "";      // the file the report names (a rename's source)
    const char* rename_to = ""; // where a rename was to go
    std::string detail;         // an unexpected error's own words
    int system_error = 0;       // the system's error code (errno; GetLastError() on Windows),
                                // where it gave one; 0: none

    static Failure of(Report report) { return {report, "", "", {}, 0}; }
    // A failure about one file, with the system's code for why, where it gave one.
    static Failure naming(Report report, const char* name, int system_error = 0) {
        return {report, name, "", {}, system_error};
    }
    // A file that could not be written, synced or closed.
    static Failure writing(const char* name, int system_error) {
        return naming(Report::cannot_write, name, system_error);
    }
    // A file that could not be opened or made; held: by another program.
    static Failure open(const char* name, Outcome outcome) {
        return naming(outcome == Outcome::held ? Report::held_open : Report::cannot_open, name,
                      outcome.system_error);
    }
    static Failure rename(const char* from, const char* to, Outcome outcome) {
        return {outcome == Outcome::held ? Report::held_rename : Report::cannot_rename,
                from,
                to,
                {},
                outcome.system_error};
    }
    static Failure unexpected(const char* what) { return {Report::unexpected, "", "", what, 0}; }
};

// Why the run cannot go on, or nothing: true when there is a failure.
using MaybeFailure = std::optional<Failure>;

// The failure's line on `errors`.
void write_failure(const Failure& failure, Output& errors);

} // namespace textmatte
