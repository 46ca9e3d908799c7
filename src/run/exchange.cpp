#include "run/exchange.hpp"

namespace textmatte {

namespace {

constexpr const char* kOwnNames[] = {kFirstIntermediateName, kSecondIntermediateName, kWorkName,
                                     kOutputName, kLockName};

} // namespace

// Only on a way out that skipped finish(): the drawing still gets its name.
// The lock goes last, once nothing of the run is left for a fault to touch.
Exchange::~Exchange() {
    ending_.work_over();
    (void)put_back(); // best effort: finish() reports a failure to put back
}

// A name that leads to one of the program's own names, through any number
// of links, would have the run remove or rename over the drawing itself.
Status Exchange::refuse_links(const Entry& host) {
    if (!host.is_link) return std::nullopt;
    const std::vector<FileId> reached = fs_.reached_through_links(kHostName);
    for (const char* own : kOwnNames) {
        const Entry e = fs_.inspect(own);
        if (!e.exists()) continue;
        for (const FileId& id : reached)
            if (id == e.entry_file) return Failure{Report::link_to_own, "", own, {}, 0};
    }
    return std::nullopt;
}

// A leftover of an earlier run goes as a name; a directory under it is not
// ours to remove and stays, as does anything that cannot be removed: the
// output is created new, so nothing left there is ever written through.
Outcome Exchange::remove_leftover(const char* name) {
    const Entry e = fs_.inspect(name);
    if (!e.exists() || (e.kind == EntryKind::directory && !e.is_link)) return Outcome::done;
    return fs_.remove_name(name);
}

Status Exchange::take_over() {
    bool locked = false;
    switch (fs_.lock_directory(kLockName, lock_)) {
    case LockResult::busy: return Failure::of(Report::locked);
    case LockResult::refused: return Failure::naming(Report::cannot_open, kLockName);
    case LockResult::locked:
        locked = true;
        ending_.directory_locked(kLockName);
        break;
    case LockResult::unavailable: break; // no locks here: runs are not kept apart
    }
    const Entry host = fs_.inspect(kHostName);
    if (host.held) return Failure::open(kWorkName, Outcome::held);
    // Missing, or a directory, FIFO, socket or device: nothing to read, and
    // nothing is moved.
    if (host.kind != EntryKind::regular) return Failure::naming(Report::no_drawing, kWorkName);
    if (Status refused = refuse_links(host)) return refused;
    // The output needs its name, and a directory there is not ours to remove.
    const Entry output = fs_.inspect(kOutputName);
    if (output.kind == EntryKind::directory && !output.is_link)
        return Failure::naming(Report::no_output_file, kOutputName);
    // Without the lock a leftover may be a live run's. What stays is never
    // read or written; but an output name another program holds cannot be
    // had, so that is said.
    if (locked) {
        for (const char* leftover : {kFirstIntermediateName, kSecondIntermediateName})
            (void)remove_leftover(leftover);
        if (remove_leftover(kOutputName) == Outcome::held)
            return Failure::open(kOutputName, Outcome::held);
    }
    moves_host_file_ = fs_.names_ignore_case();
    if (moves_host_file_) return move_host_file(host);
    // A working file an earlier run left, unless it is the host's file
    // itself under a second name.
    const Entry work = fs_.inspect(kWorkName);
    if (locked && work.exists() && !(work.entry_file == host.entry_file))
        (void)remove_leftover(kWorkName); // what stays is never read or written
    return std::nullopt;
}

Outcome Exchange::move_drawing_to(const char* to) {
    const Outcome moved = fs_.rename(moved_drawing_at_, to);
    if (moved == Outcome::done) moved_drawing_at_ = to;
    return moved;
}

Status Exchange::move_host_file(const Entry& host) {
    // A leftover that could not be removed (a directory, say) blocks the
    // first step; so may anything else. The working name is the host's file
    // then: the run goes on with it where it is.
    const bool blocked = fs_.inspect(kFirstIntermediateName).exists();
    const Outcome first = blocked ? Outcome::failed : fs_.rename(kHostName, kFirstIntermediateName);
    if (first != Outcome::done) {
        if (fs_.inspect(kWorkName).entry_file == host.entry_file) return std::nullopt;
        return Failure::rename(kHostName, kFirstIntermediateName, first);
    }
    moved_drawing_at_ = kFirstIntermediateName;
    for (const char* to : {kSecondIntermediateName, kWorkName}) {
        const char* from = moved_drawing_at_;
        if (const Outcome moved = move_drawing_to(to); moved != Outcome::done)
            return Failure::rename(from, to, moved);
    }
    return std::nullopt;
}

OpenedFile Exchange::open_drawing() {
    OpenedFile opened = fs_.open_read(drawing_name());
    // A drawing read twice (counted first) must be the one first opened.
    if (opened.file && !drawing_opened_) {
        drawing_as_read_ = opened.state;
        drawing_opened_ = true;
    }
    return opened;
}

std::unique_ptr<OutFile> Exchange::create_output() {
    ending_.output_creating(kOutputName);
    auto file = fs_.create_new(kOutputName, drawing_name());
    if (!file) {
        ending_.output_gone();
        return nullptr;
    }
    output_on_disk_ = true;
    ending_.output_created();
    return file;
}

bool Exchange::remove_output() {
    if (fs_.remove_name(kOutputName) != Outcome::done) return false;
    output_on_disk_ = false;
    ending_.output_gone();
    return true;
}

void Exchange::keep_output() {
    ending_.output_kept();
}

// The host promised not to touch its file during the run; a file rewritten
// or replaced meanwhile is not what the output was made from.
Status Exchange::check_drawing_unchanged() {
    const Entry now = fs_.inspect(drawing_name());
    if (drawing_opened_ && now.kind == EntryKind::regular && now.target == drawing_as_read_)
        return std::nullopt;
    return Failure::of(Report::changed);
}

Status Exchange::replace_drawing_with_output() {
    if (Status changed = check_drawing_unchanged()) return changed;
    ending_.output_replacing();
    const Outcome renamed = fs_.rename(kOutputName, kHostName);
    if (renamed != Outcome::done) {
        ending_.output_created(); // still there, and not in place
        return Failure::rename(kOutputName, kHostName, renamed);
    }
    ending_.output_in_place();
    output_on_disk_ = false;
    moved_drawing_at_ = nullptr; // the name holds the result now
    if (moves_host_file_) {
        // Where names tell case apart after all, the input still lies under
        // the working name; where they do not, that name is now the output.
        const Entry work = fs_.inspect(kWorkName);
        const Entry host = fs_.inspect(kHostName);
        if (work.exists() && host.exists() && !(work.entry_file == host.entry_file))
            (void)fs_.remove_name(kWorkName); // else the next run removes it
    }
    if (!fs_.sync_directory(kHostName)) return Failure::of(Report::not_durable);
    return std::nullopt;
}

// Also where names ignore case and the host's name already leads to the
// file: the rename then gives it back the name's case the host wrote.
bool Exchange::put_back() {
    if (!moved_drawing_at_) return true;
    const Entry host = fs_.inspect(kHostName);
    const bool same_entry =
        host.exists() && host.entry_file == fs_.inspect(moved_drawing_at_).entry_file;
    if (host.exists() && !same_entry) return false; // the name holds another file: keep ours
    if (fs_.rename(moved_drawing_at_, kHostName) != Outcome::done && !same_entry) return false;
    moved_drawing_at_ = nullptr;
    return true;
}

Status Exchange::finish(bool discard_output) {
    if (discard_output && output_on_disk_) (void)remove_output(); // what stays is never read
    ending_.work_over();
    if (!moved_drawing_at_) return std::nullopt;
    const char* from = moved_drawing_at_;
    if (!put_back()) return Failure::rename(from, kHostName, Outcome::failed);
    (void)fs_.sync_directory(kHostName); // the drawing is back either way
    return std::nullopt;
}

} // namespace textmatte
