// Why a run could not complete: a value that travels up to the one place
// that reports it on standard error and ends the run with its status.
#pragma once

#include <optional>
#include <string>

#include "interchange/output.hpp"

namespace textmatte {

struct Failure {
    enum class Kind {
        cannot_open,    // "Cannot open file: NAME"
        cannot_read,    // "Cannot read file: NAME"
        cannot_write,   // "Cannot write file: NAME"
        cannot_rename,  // "Cannot rename file: NAME to OTHER"
        locked,         // another run holds the exchange
        link_to_own,    // the host's name is a link to OTHER, one of the program's names
        too_many_lines, // the input is over the line limit
        out_of_memory,
        unexpected,  // anything else that went wrong: `detail` says what
        interrupted, // the drawing is back under the host's name, or under OTHER
    };

    Kind kind = Kind::unexpected;
    int status = 1; // the exit status it ends the run with
    const char* name = "";
    const char* other = "";
    std::string detail;

    static Failure open(const char* name, int status) {
        return {Kind::cannot_open, status, name, "", {}};
    }
    static Failure read(const char* name) { return {Kind::cannot_read, 1, name, "", {}}; }
    static Failure write(const char* name) { return {Kind::cannot_write, 1, name, "", {}}; }
    static Failure rename(const char* from, const char* to) {
        return {Kind::cannot_rename, 1, from, to, {}};
    }
    static Failure interrupted() { return {Kind::interrupted, 1, "", "", {}}; }
    // A failure that names nothing but what its message says: status 1.
    static Failure of(Kind kind) { return {kind, 1, "", "", {}}; }
    static Failure link_to(const char* own) { return {Kind::link_to_own, 1, "", own, {}}; }
    static Failure unexpected(const char* what) { return {Kind::unexpected, 1, "", "", what}; }
};

// Nothing, or why the run cannot go on.
using Status = std::optional<Failure>;

// The failure's message, one line on `errors`.
void report(const Failure& failure, Output& errors);

} // namespace textmatte
