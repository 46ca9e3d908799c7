#include "run/exchange.hpp"

#include "run/interrupts.hpp"

namespace textmatte {

namespace {

constexpr const char* kOwnNames[] = {kFirstStep, kSecondStep, kWorkName, kOutputName};

} // namespace

Exchange::~Exchange() {
    if (discard_output_ && output_created_) (void)fs_.remove_name(kOutputName); // best effort
    (void)put_back(); // best effort: finish() reports a failure to put back
    fs_.remove_if_crashed(nullptr);
}

// A link from the host's name to one of the program's own names would have
// the run delete or rename over the drawing itself.
Status Exchange::refuse_links(const Entry& host) {
    if (!host.is_link) return std::nullopt;
    for (const char* own : kOwnNames) {
        const Entry e = fs_.inspect(own);
        if (e.exists() && e.itself == host.target) return Failure::link_to(own);
    }
    return std::nullopt;
}

// A leftover of an earlier run goes as a name; a directory under it is not
// ours to remove and stays, as does anything that cannot be removed: the
// output is created new, so nothing left there is ever written through.
void Exchange::remove_leftover(const char* name) {
    const Entry e = fs_.inspect(name);
    if (!e.exists() || (e.kind == EntryKind::directory && !e.is_link)) return;
    (void)fs_.remove_name(name); // what stays is never read or written
}

Status Exchange::take_over() {
    if (fs_.lock_exchange(kHostName, kLockName, lock_) == LockResult::busy)
        return Failure::of(Failure::Kind::locked);
    host_ = fs_.inspect(kHostName);
    // Missing, or a directory, FIFO, socket or device: nothing to read, and
    // nothing is moved.
    if (host_.kind != EntryKind::regular) return Failure::open(kWorkName, -1);
    if (Status refused = refuse_links(host_)) return refused;
    for (const char* leftover : {kFirstStep, kSecondStep, kOutputName})
        remove_leftover(leftover);
    moves_host_file_ = fs_.names_ignore_case();
    if (moves_host_file_) return move_host_file(host_);
    // A working file an earlier run left, unless it is the host's file
    // itself under a second name.
    const Entry work = fs_.inspect(kWorkName);
    if (work.exists() && !(work.itself == host_.itself)) remove_leftover(kWorkName);
    return std::nullopt;
}

bool Exchange::step(const char* to) {
    if (!fs_.rename(at_, to)) return false;
    at_ = to;
    return true;
}

Status Exchange::move_host_file(const Entry& host) {
    // A leftover that could not be removed (a directory, say) blocks the
    // first step; so may anything else. The working name is the host's file
    // then: the run goes on with it where it is.
    const bool blocked = fs_.inspect(kFirstStep).exists();
    if (blocked || !fs_.rename(kHostName, kFirstStep)) {
        if (fs_.inspect(kWorkName).itself == host.itself) return std::nullopt;
        return Failure::rename(kHostName, kFirstStep);
    }
    at_ = kFirstStep;
    if (!step(kSecondStep) || !step(kWorkName))
        return Failure::rename(at_, at_ == kFirstStep ? kSecondStep : kWorkName);
    return std::nullopt;
}

std::unique_ptr<OutFile> Exchange::create_output() {
    const SignalsHeldBack held; // a fault finds the output either not there or noted
    auto file = fs_.create_new(kOutputName, host_.access);
    if (file) {
        output_created_ = true;
        fs_.remove_if_crashed(kOutputName);
    }
    return file;
}

void Exchange::keep_output() {
    fs_.remove_if_crashed(nullptr);
}

Status Exchange::replace_with_output() {
    {
        // A fault's line tells whether the result had replaced the drawing.
        const SignalsHeldBack held;
        if (!fs_.rename(kOutputName, kHostName)) return Failure::rename(kOutputName, kHostName);
        fs_.remove_if_crashed(nullptr);
        note_result_in_place();
    }
    at_ = nullptr;
    output_created_ = false;
    result_in_place_ = true;
    if (moves_host_file_) {
        // Where names tell case apart after all, the input still lies under
        // the working name; where they do not, that name is now the output.
        const Entry work = fs_.inspect(kWorkName);
        const Entry host = fs_.inspect(kHostName);
        if (work.exists() && host.exists() && !(work.itself == host.itself))
            (void)fs_.remove_name(kWorkName); // the next run removes it
    }
    // The result is in place either way; a sync that fails cannot undo that.
    (void)fs_.sync_directory(kHostName);
    return std::nullopt;
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

Status Exchange::finish() {
    if (discard_output_ && output_created_ && fs_.remove_name(kOutputName)) output_created_ = false;
    fs_.remove_if_crashed(nullptr);
    if (!at_) return std::nullopt;
    const char* from = at_;
    if (!put_back()) return Failure::rename(from, kHostName);
    (void)fs_.sync_directory(kHostName); // the drawing is back either way
    return std::nullopt;
}

} // namespace textmatte
