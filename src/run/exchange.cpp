#include "run/exchange.hpp"

#include "interchange/format.hpp"

namespace textmatte {

namespace {

constexpr const char* kOwnNames[] = {kFirstStep, kSecondStep, kWorkName, kOutputName};
// Names that only an earlier, interrupted run can have left behind.
constexpr const char* kLeftovers[] = {kFirstStep, kSecondStep, kOutputName};

} // namespace

Exchange::~Exchange() {
    if (discard_output_ && output_created_) fs_.remove_name(kOutputName);
    put_back();
}

// A link from the host's name to one of the program's own names would have
// the run delete or rename over the drawing itself.
int Exchange::refuse_links(const Entry& host) {
    if (!host.is_link) return 0;
    for (const char* own : kOwnNames) {
        const Entry e = fs_.inspect(own);
        if (e.exists() && e.itself == host.target) {
            write<"Cannot take over file: %s (it is a link to %s) \n">(errors_, kHostName, own);
            return 1;
        }
    }
    return 0;
}

bool Exchange::step(const char* to) {
    if (!fs_.rename(at_, to)) return false;
    at_ = to;
    return true;
}

int Exchange::take_over() {
    const Entry host = fs_.inspect(kHostName);
    if (host.kind != EntryKind::regular) {
        // Missing, or a directory, FIFO, socket or device: nothing to read,
        // and nothing is moved.
        write<"Cannot open file: %s \n">(errors_, kWorkName);
        return -1;
    }
    if (const int status = refuse_links(host)) return status;
    for (const char* leftover : kLeftovers)
        fs_.remove_name(leftover);
    if (!fs_.rename(kHostName, kFirstStep)) {
        // Where names ignore case, the working name is the host's file and
        // the run can go on with it in place; anywhere else the host's file
        // cannot be taken.
        if (fs_.inspect(kWorkName).itself == host.itself) return 0;
        write<"Cannot rename file: %s to %s \n">(errors_, kHostName, kFirstStep);
        return 1;
    }
    at_ = kFirstStep;
    if (!step(kSecondStep) || !step(kWorkName)) {
        write<"Cannot rename file: %s to %s \n">(errors_, at_,
                                                 at_ == kFirstStep ? kSecondStep : kWorkName);
        return 1;
    }
    return 0;
}

int Exchange::replace_with_output() {
    if (!fs_.rename(kOutputName, kHostName)) {
        write<"Cannot rename file: %s to %s \n">(errors_, kOutputName, kHostName);
        return 1;
    }
    at_ = nullptr;
    output_created_ = false;
    // Where names tell case apart, the input still lies under the working
    // name; where they do not, that name is now the output itself.
    const Entry work = fs_.inspect(kWorkName);
    const Entry host = fs_.inspect(kHostName);
    if (work.exists() && host.exists() && !(work.itself == host.itself)) fs_.remove_name(kWorkName);
    return 0;
}

void Exchange::discard_output() {
    discard_output_ = true;
}

// Also where names ignore case and the host's name already leads to the
// file: the rename then gives it back the name's case the host wrote.
bool Exchange::put_back() {
    if (!at_) return true;
    const Entry host = fs_.inspect(kHostName);
    const bool same_entry = host.exists() && host.itself == fs_.inspect(at_).itself;
    if (host.exists() && !same_entry) return false; // the name holds another file: keep ours
    if (!fs_.rename(at_, kHostName) && !same_entry) return false;
    at_ = nullptr;
    return true;
}

int Exchange::finish(int status) {
    if (discard_output_ && output_created_ && fs_.remove_name(kOutputName)) output_created_ = false;
    const char* from = at_;
    if (put_back()) return status;
    write<"Cannot rename file: %s to %s \n">(errors_, from, kHostName);
    return status == 0 ? 1 : status;
}

} // namespace textmatte
