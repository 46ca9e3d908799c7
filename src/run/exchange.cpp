#include "run/exchange.hpp"

#include <chrono>
#include <random>

namespace textmatte {

namespace {

constexpr const char* kOwnNames[] = {kFirstIntermediateName, kSecondIntermediateName, kWorkName,
                                     kOutputName, kLockName};

constexpr std::size_t kCheckBlock = 1 << 16;

// A seed no other program knows; the clock where the system gives no
// random numbers.
std::uint64_t fresh_seed() {
    try {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (const std::exception&) {
        return static_cast<std::uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    }
}

} // namespace

// After finish() there is nothing left to do here; on a way out that
// skipped it, the work still ends and the drawing still gets its name. The
// lock is released after this body, once the ending has forgotten it and
// nothing of the run is left for a fault to touch.
Exchange::~Exchange() {
    ending_.work_over();
    (void)put_back(); // best effort: finish() reports a failure to put back
}

// A name that leads to one of the program's own names, through any number
// of links, or through one of them as a folder on the way, would have the
// run remove or rename over the drawing itself, or remove what leads to it.
MaybeFailure Exchange::refuse_links(const Entry& host) {
    if (!host.is_link) return std::nullopt;
    const std::vector<FileId> reached = fs_.reached_through_links(kHostName);
    for (const char* own : kOwnNames) {
        const Entry e = fs_.inspect(own);
        if (!e.exists()) continue;
        for (const FileId& id : reached)
            if (id == e.entry_file) return Failure::naming(Report::link_to_own, own);
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

MaybeFailure Exchange::take_over() {
    bool locked = false;
    const LockResult lock = fs_.lock_directory(kLockName, lock_.lock);
    switch (lock.kind) {
    case LockResult::busy: return Failure::of(Report::locked);
    case LockResult::refused:
        return Failure::naming(Report::cannot_open, kLockName, lock.system_error);
    case LockResult::locked:
        locked = true;
        ending_.directory_locked(kLockName);
        break;
    case LockResult::unavailable: break; // no locks here: runs are not kept apart
    }
    const Entry host = fs_.inspect(kHostName);
    if (host.held) return Failure::open(kWorkName, Outcome::held);
    // There, but not to be looked at: not a missing drawing.
    if (host.unreadable && host.system_error != 0)
        return Failure::naming(Report::cannot_open, drawing_name(), host.system_error);
    // Missing, or a directory, FIFO, socket or device: nothing to read, and
    // nothing is moved.
    if (host.kind != EntryKind::regular) return Failure::naming(Report::no_drawing, kWorkName);
    if (MaybeFailure refused = refuse_links(host)) return refused;
    if (MaybeFailure blocked = clear_leftover_output(locked)) return blocked;
    if (locked) {
        for (const char* leftover : {kFirstIntermediateName, kSecondIntermediateName})
            (void)remove_leftover(leftover); // what stays is never read or written
    }
    if (moves_host_file_) return move_host_file(host);
    // A working file an earlier run left, unless it is the host's file
    // itself under a second name.
    const Entry work = fs_.inspect(kWorkName);
    if (locked && work.exists() && !(work.entry_file == host.entry_file))
        (void)remove_leftover(kWorkName); // what stays is never read or written
    return std::nullopt;
}

// The output needs its name. A directory there is not ours to remove. A
// file there is an earlier run's leftover, removed only under the lock:
// without it, it may be a live run's output, and what to do is said.
MaybeFailure Exchange::clear_leftover_output(bool locked) {
    const Entry output = fs_.inspect(kOutputName);
    if (!output.exists()) return std::nullopt;
    if (output.kind == EntryKind::directory && !output.is_link)
        return Failure::naming(Report::no_output_file, kOutputName);
    if (!locked) return Failure::of(Report::output_left);
    const Outcome removed = remove_leftover(kOutputName);
    if (removed == Outcome::held) return Failure::open(kOutputName, Outcome::held);
    if (removed != Outcome::done) return Failure::of(Report::output_left);
    return std::nullopt;
}

Outcome Exchange::move_drawing_to(const char* to) {
    const Outcome moved = fs_.rename(moved_drawing_at_, to);
    if (moved == Outcome::done) moved_drawing_at_ = to;
    return moved;
}

MaybeFailure Exchange::move_host_file(const Entry& host) {
    // A leftover that could not be removed (a directory, say) blocks the
    // first step; so may anything else. If the working name leads to the
    // host's file all the same, the run goes on with it where it is; else
    // the failure stops the run.
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

MaybeFailure Exchange::open_drawing() {
    OpenedFile opened = fs_.open_read(drawing_name());
    if (!opened.file) {
        if (opened.outcome == Outcome::held) return Failure::open(kWorkName, opened.outcome);
        // Gone or replaced since the look: the drawing is missing after all.
        if (opened.no_such_file || opened.outcome.system_error == 0)
            return Failure::naming(Report::no_drawing, kWorkName);
        return Failure::open(drawing_name(), opened.outcome);
    }
    // Had now: once the output has swapped in, no allocation may fail.
    check_block_.reset(new char[kCheckBlock]);
    drawing_file_ = std::move(opened.file);
    drawing_as_read_ = opened.state;
    checksum_seed_ = fresh_seed();
    checksum_.start(checksum_seed_);
    return std::nullopt;
}

long Exchange::ChecksummedDrawing::read(char* data, std::size_t size) {
    Exchange& x = exchange_;
    if (!x.drawing_file_) return -1;
    const long got = x.drawing_file_->read(data, size);
    if (got < 0) {
        x.read_failed_ = true;
        return got;
    }
    x.checksum_.add(data, static_cast<std::size_t>(got));
    x.bytes_read_ += static_cast<std::uint64_t>(got);
    return got;
}

bool Exchange::read_drawing_again() {
    if (!drawing_file_ || !drawing_file_->rewind()) return false;
    checksum_.start(checksum_seed_);
    bytes_read_ = 0;
    read_failed_ = false;
    return true;
}

MaybeFailure Exchange::create_output(std::unique_ptr<OutFile>& file) {
    ending_.output_creating(kOutputName);
    NewFile made = fs_.create_new(kOutputName, drawing_name());
    if (!made.file) {
        ending_.output_gone();
        // Made and removed again: the result would not keep the drawing's access.
        if (made.access_refused)
            return Failure::naming(Report::cannot_write, kOutputName, made.system_error);
        return Failure::naming(Report::no_output_file, kOutputName, made.system_error);
    }
    output_id_ = made.id;
    output_hold_ = std::move(made.hold);
    output_on_disk_ = true;
    ending_.output_created(made.id);
    file = std::move(made.file);
    return std::nullopt;
}

bool Exchange::output_is_ours(const char* name) {
    const Entry e = fs_.inspect(name);
    return e.kind == EntryKind::regular && !e.is_link && e.entry_file == output_id_;
}

Outcome Exchange::remove_output() {
    if (!output_is_ours(kOutputName)) return Outcome::failed; // another's now: not ours to remove
    const Outcome removed = fs_.remove_name(kOutputName);
    if (removed != Outcome::done) return removed;
    output_on_disk_ = false;
    ending_.output_gone();
    return Outcome::done;
}

void Exchange::keep_output() {
    ending_.output_kept();
}

// The host promised not to touch its file during the run; a file rewritten
// or replaced meanwhile is not what the output was made from.
MaybeFailure Exchange::check_drawing_unchanged() {
    const Entry now = fs_.inspect(drawing_name());
    if (now.unreadable)
        return Failure::naming(Report::cannot_read, drawing_name(), now.system_error);
    if (drawing_file_ && now.kind == EntryKind::regular && now.target == drawing_as_read_)
        return std::nullopt;
    return Failure::of(Report::changed);
}

// The directory is still this run's, and the file under the output's name
// is the one it wrote: a lock file removed meanwhile (its owner may, in a
// sticky folder) let another run in, which may have put its own, partial
// output there.
MaybeFailure Exchange::check_still_ours() {
    if (lock_.lock && !lock_.lock->still_held()) return Failure::of(Report::locked);
    if (!output_is_ours(kOutputName))
        return Failure::rename(kOutputName, kHostName, Outcome::failed);
    return std::nullopt;
}

MaybeFailure Exchange::replace_drawing_with_output() {
    ending_.output_complete(); // written and synced: what goes in, if all holds
    if (MaybeFailure not_ours = check_still_ours()) return not_ours;
    if (MaybeFailure changed = check_drawing_unchanged()) return changed;
    if (!moves_host_file_) {
        ending_.output_swapping(kHostName);
        const Swap swapped = fs_.swap(kOutputName, kHostName);
        if (swapped == Swap::done) return swap_in_output();
        ending_.output_complete(); // still there, and not in place
        if (swapped == Swap::failed)
            return Failure::rename(kOutputName, kHostName,
                                   Outcome(Outcome::failed, swapped.system_error));
    }
    return rename_output_over_drawing();
}

// Whether the file the swap took out is the drawing as it was read: the
// same file (kept open, so no other can have its identity), size and
// modification time, and, read again, the same bytes. Its change time
// moved with the swap itself. A failed look or read is said as such.
MaybeFailure Exchange::check_came_out_as_read() {
    const Entry out = fs_.inspect(kOutputName); // a link the host's name was: what it leads to
    if (out.unreadable) return Failure::naming(Report::cannot_read, kHostName, out.system_error);
    if (out.kind != EntryKind::regular || !(out.target.id == drawing_as_read_.id) ||
        out.target.size != drawing_as_read_.size ||
        out.target.modified != drawing_as_read_.modified)
        return Failure::of(Report::changed);
    const std::uint64_t read_before = bytes_read_;
    const std::uint64_t checksum_before = checksum_.value();
    if (read_failed_ || !read_drawing_again())
        return Failure::naming(Report::cannot_read, kHostName, drawing_read_error());
    for (;;) {
        const long got = drawing_source_.read(check_block_.get(), kCheckBlock);
        if (got < 0) return Failure::naming(Report::cannot_read, kHostName, drawing_read_error());
        if (got == 0) break;
    }
    if (bytes_read_ != read_before || checksum_.value() != checksum_before)
        return Failure::of(Report::changed);
    return std::nullopt;
}

// The output and the drawing have swapped names. The host's name must now
// hold this run's output, the drawing must have come out as it was read,
// and the lock must still be the run's; else they swap back, and the host's
// name holds what it held.
MaybeFailure Exchange::swap_in_output() {
    MaybeFailure not_as_read = output_is_ours(kHostName)
                                   ? check_came_out_as_read()
                                   : Failure::rename(kOutputName, kHostName, Outcome::failed);
    // A lock lost since the last look lets another run in: it goes back too.
    if (!not_as_read && lock_.lock && !lock_.lock->still_held())
        not_as_read = Failure::of(Report::locked);
    if (!not_as_read) {
        // The drawing as it was (or the link to it), now under the output's
        // name, goes; else the next run removes it. Until it has gone, a
        // fault would still swap back.
        if (fs_.inspect(kOutputName).target.id == drawing_as_read_.id)
            (void)fs_.remove_name(kOutputName);
        ending_.output_in_place();
        output_on_disk_ = false;
        return after_result_in_place();
    }
    if (fs_.swap(kOutputName, kHostName) != Swap::done) {
        // Refused just after the same swap went through: the host's name
        // keeps the result, and the other file under the output's name stays.
        ending_.output_kept();
        output_on_disk_ = false;
        return not_as_read;
    }
    ending_.output_complete();
    return not_as_read;
}

// Where no swap can be had: the output is renamed over the host's name,
// which still held the drawing, unchanged, at the last look.
MaybeFailure Exchange::rename_output_over_drawing() {
    // Windows replaces no file that is open.
    if (moves_host_file_) drawing_file_.reset();
    ending_.output_replacing();
    const Outcome renamed = fs_.rename(kOutputName, kHostName);
    if (renamed != Outcome::done) {
        ending_.output_complete(); // still there, and not in place
        return Failure::rename(kOutputName, kHostName, renamed);
    }
    ending_.output_in_place();
    output_on_disk_ = false;
    return after_result_in_place();
}

MaybeFailure Exchange::after_result_in_place() {
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
Outcome Exchange::put_back() {
    if (!moved_drawing_at_) return Outcome::done;
    const Entry host = fs_.inspect(kHostName);
    const bool same_entry =
        host.exists() && host.entry_file == fs_.inspect(moved_drawing_at_).entry_file;
    if (host.exists() && !same_entry) return Outcome::failed; // the name holds another file
    const Outcome renamed = fs_.rename(moved_drawing_at_, kHostName);
    if (renamed != Outcome::done && !same_entry) return {Outcome::failed, renamed.system_error};
    moved_drawing_at_ = nullptr;
    return Outcome::done;
}

MaybeFailure Exchange::finish(bool discard_output) {
    drawing_file_.reset();                                        // only read: nothing to report
    if (discard_output && output_on_disk_) (void)remove_output(); // what stays is never read
    ending_.work_over();
    if (!moved_drawing_at_) return std::nullopt;
    const char* from = moved_drawing_at_;
    if (const Outcome back = put_back(); back != Outcome::done)
        return Failure::rename(from, kHostName, back);
    (void)fs_.sync_directory(kHostName); // the drawing is back either way
    return std::nullopt;
}

} // namespace textmatte
