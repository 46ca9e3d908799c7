#include "run/failure.hpp"

#include "interchange/format.hpp"
#include "pipeline/convert.hpp"
#include "run/exchange.hpp"

namespace textmatte {

void report(const Failure& f, Output& errors) {
    using Kind = Failure::Kind;
    switch (f.kind) {
    case Kind::cannot_open: write<"Cannot open file: %s \n">(errors, f.name); break;
    case Kind::cannot_read: write<"Cannot read file: %s \n">(errors, f.name); break;
    case Kind::cannot_write: write<"Cannot write file: %s \n">(errors, f.name); break;
    case Kind::cannot_rename:
        write<"Cannot rename file: %s to %s \n">(errors, f.name, f.other);
        break;
    case Kind::locked:
        write<"Cannot lock file: %s (another run is using it) \n">(errors, kHostName);
        break;
    case Kind::link_to_own:
        write<"Cannot take over file: %s (it is a link to %s) \n">(errors, kHostName, f.other);
        break;
    case Kind::too_many_lines:
        write<"Too many lines: %s has more than %u lines \n">(errors, kHostName, kLineLimit);
        break;
    case Kind::out_of_memory: write<"Out of memory \n">(errors); break;
    case Kind::unexpected: write<"%s \n">(errors, f.detail); break;
    case Kind::interrupted:
        if (*f.other)
            write<"Interrupted: the drawing is left under %s \n">(errors, f.other);
        else
            write<"Interrupted: %s is as it was before the run \n">(errors, kHostName);
        break;
    }
}

} // namespace textmatte
