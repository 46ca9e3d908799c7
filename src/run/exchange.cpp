#include "run/exchange.hpp"

#include "interchange/format.hpp"

namespace textmatte {

namespace {

bool exists(FileSystem& fs, const char* name) {
    return fs.inspect(name).kind != EntryKind::missing;
}

} // namespace

bool Exchange::step(const char* to) {
    if (!fs_.rename(at_, to)) return false;
    at_ = to;
    return true;
}

int Exchange::take_over() {
    if (exists(fs_, kHostName)) {
        // Leftovers of an interrupted run must not be mistaken for input.
        fs_.remove_name(kFirstStep);
        fs_.remove_name(kSecondStep);
    }
    if (!fs_.rename(kHostName, kFirstStep)) return 0; // go on with the working name
    at_ = kFirstStep;
    if (!step(kSecondStep) || !step(kWorkName)) {
        write<"Cannot rename file: %s to %s \n">(errors_, at_,
                                                 at_ == kFirstStep ? kSecondStep : kWorkName);
        return 1;
    }
    return 0;
}

int Exchange::replace_with_output() {
    if (!fs_.rename(kOutputName, kWorkName)) {
        write<"Cannot rename file: %s to %s \n">(errors_, kOutputName, kWorkName);
        return 1;
    }
    return 0;
}

bool Exchange::put_back() {
    if (!at_ || exists(fs_, kHostName)) return true;
    if (!fs_.rename(at_, kHostName)) return false;
    at_ = nullptr;
    return true;
}

int Exchange::finish(int status) {
    const char* from = at_;
    if (put_back()) return status;
    write<"Cannot rename file: %s to %s \n">(errors_, from, kHostName);
    return status == 0 ? 1 : status;
}

} // namespace textmatte
