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
    const char* name = "";  // the file the report names
    const char* other = ""; // the second file: where a rename was to go
    std::string detail;     // an unexpected error's own words

    static Failure of(Report report) { return {report, "", "", {}}; }
    static Failure naming(Report report, const char* name) { return {report, name, "", {}}; }
    // A file that could not be opened or made; held: by another program.
    static Failure open(const char* name, Outcome outcome) {
        return naming(outcome == Outcome::held ? Report::held_open : Report::cannot_open, name);
    }
    static Failure rename(const char* from, const char* to, Outcome outcome) {
        return {
            outcome == Outcome::held ? Report::held_rename : Report::cannot_rename, from, to, {}};
    }
    static Failure unexpected(const char* what) { return {Report::unexpected, "", "", what}; }
};

// Nothing, or why the run cannot go on.
using Status = std::optional<Failure>;

// The failure's line on `errors`.
void write_failure(const Failure& failure, Output& errors);

} // namespace textmatte
