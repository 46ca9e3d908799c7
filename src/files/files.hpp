// The program's file layer: the only code that touches the file system.
//
// Files are read and written as bytes; line ends are the interchange
// layer's business. Every operation reports failure so the run can keep the
// host's file safe, and tests can put a failing layer in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"

namespace textmatte {

// What an operation ended with, and, when it failed, the system's code for
// why (errno; GetLastError() on Windows), so the failure can be said with
// the system's own words; 0 where the system gave none (the program's own
// refusal).
template <typename Kind> struct Reasoned {
    Kind kind;
    int system_error = 0;

    constexpr Reasoned(Kind k, int error = 0) : kind(k), system_error(error) {}
    friend constexpr bool operator==(const Reasoned& r, Kind k) { return r.kind == k; }
};

// How an operation on a named file went.
enum class OutcomeKind {
    done,
    failed, // refused: no such file, no right to it, a full disk ...
    held,   // another program still holds the file after a short wait (Windows)
};
struct Outcome : Reasoned<OutcomeKind> {
    using Reasoned::Reasoned;
    static constexpr OutcomeKind done = OutcomeKind::done;
    static constexpr OutcomeKind failed = OutcomeKind::failed;
    static constexpr OutcomeKind held = OutcomeKind::held;
};

// The system's words for an error code, on one line, without a closing
// period: "No space left on device". English where the system has it.
std::string system_reason(int system_error);

// The identity of a file: equal for two names of one file.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileId&) const = default;
};

// A file as it stands: equal states are the same file, not written to in
// between (as far as its size and times tell).
struct FileState {
    FileId id;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds, on the file system's clock
    std::int64_t changed = 0;  // of the file's data or attributes, where kept
    bool operator==(const FileState&) const = default;
};

class InFile : public ByteSource {
  public:
    // Goes back to the file's first byte, to read it again.
    [[nodiscard]] virtual bool rewind() = 0;
    [[nodiscard]] virtual bool close() = 0;
    // The system's error code of the last read or rewind that failed; 0
    // while none has, or where the system gave no code.
    virtual int system_error() const { return 0; }
};

class OutFile : public ByteSink {
  public:
    // Makes what was written durable before the file replaces another.
    [[nodiscard]] virtual bool sync() = 0;
    [[nodiscard]] virtual bool close() = 0;
    // The system's error code of the first write, sync or close that
    // failed; 0 while none has, or where the system gave no code.
    virtual int system_error() const { return 0; }
};

// A file opened for reading and how it stood when it was opened; on
// failure, no file and why: `no_such_file` when nothing, or anything but a
// regular file, lies under the name, else the system's refusal.
struct OpenedFile {
    std::unique_ptr<InFile> file;
    Outcome outcome = Outcome::failed;
    FileState state;
    bool no_such_file = false;
};

// Keeps a file's identity from going to another file while it is held:
// the file, even if its name is removed, is not freed.
class FileHold {
  public:
    virtual ~FileHold() = default;
};

// A file created new: the file and the one it is (another file under its
// name later is not it), held past the file's close where the platform
// reuses identities; no file when the name was taken or creation failed.
// `access_refused`: it was made, but could not be given the access asked
// for, and was removed again. `system_error`: the system's code for why
// there is no file.
struct NewFile {
    std::unique_ptr<OutFile> file;
    FileId id;
    bool access_refused = false;
    std::unique_ptr<FileHold> hold;
    int system_error = 0;
};

// How a swap of two names went.
enum class SwapKind {
    done,
    failed,      // refused: a name missing, no right to it ...
    unsupported, // the file system cannot swap two names in one step
};
struct Swap : Reasoned<SwapKind> {
    using Reasoned::Reasoned;
    static constexpr SwapKind done = SwapKind::done;
    static constexpr SwapKind failed = SwapKind::failed;
    static constexpr SwapKind unsupported = SwapKind::unsupported;
};

// What a name in the directory holds.
enum class EntryKind {
    missing,
    regular,   // a file, perhaps reached through a link
    directory, // perhaps reached through a link
    other,     // a FIFO, socket, device or a link that leads nowhere
};

struct Entry {
    EntryKind kind = EntryKind::missing;
    bool is_link = false;    // the name itself is a symbolic link
    bool held = false;       // there, but another program holds it (Windows)
    bool unreadable = false; // the look itself failed (no right to look, an I/O error):
                             // nothing is known
    int system_error = 0;    // why it failed, for an unreadable entry
    FileId entry_file;       // the directory entry's own file (for a link, the link)
    FileState target;        // what the name leads to, links followed

    bool exists() const { return kind != EntryKind::missing || is_link; }
};

// Held while a run works on the exchange; released however the process
// ends, so it never goes stale.
class ExchangeLock {
  public:
    virtual ~ExchangeLock() = default;
    // Whether the lock still keeps other runs out: a lock file removed or
    // replaced under its name locks nothing any more.
    virtual bool still_held() const { return true; }
};

enum class LockKind {
    locked,
    busy,        // another run holds it
    unavailable, // the file system offers no locks: runs go on without one
    refused,     // the lock file cannot be opened, made or locked
};
struct LockResult : Reasoned<LockKind> {
    using Reasoned::Reasoned;
    static constexpr LockKind locked = LockKind::locked;
    static constexpr LockKind busy = LockKind::busy;
    static constexpr LockKind unavailable = LockKind::unavailable;
    static constexpr LockKind refused = LockKind::refused;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens a regular file (links followed) for reading, without blocking on
    // a FIFO or device.
    virtual OpenedFile open_read(const char* name) = 0;
    // Creates a new, empty file; no file when the name is taken (also by a
    // link, which is never followed) or creation fails. Where `like_name`
    // is given on POSIX systems, the file gets that file's permissions (and
    // access ACL), owner and group, or is removed again (`access_refused`)
    // where any of them cannot be given; on Windows it takes the access the
    // folder gives.
    virtual NewFile create_new(const char* name, const char* like_name) = 0;
    NewFile create_new(const char* name) { return create_new(name, nullptr); }
    // Moves `from` to `to`, replacing a file of that name, atomically.
    [[nodiscard]] virtual Outcome rename(const char* from, const char* to) = 0;
    // Swaps the files under two names in one step, where the file system
    // can: each name then leads to the file the other did.
    [[nodiscard]] virtual Swap swap(const char* a, const char* b) = 0;
    // Removes a name of a file or link (never what a link leads to), but not
    // a directory.
    [[nodiscard]] virtual Outcome remove_name(const char* name) = 0;
    virtual Entry inspect(const char* name) = 0;
    // The entries that a symbolic link leads through, in order: each folder
    // and link passed after `name`, and the last entry, each as its own file
    // (links not followed; on Windows, only what the link leads to); empty
    // when `name` is not a link.
    virtual std::vector<FileId> reached_through_links(const char* name) = 0;
    // Makes the names in the directory, as renames and removals left them,
    // durable; `file_in_it` names a file there, for a platform that needs
    // one. A file system that cannot sync a directory at all has nothing to
    // make durable: that is not a failure.
    [[nodiscard]] virtual bool sync_directory(const char* file_in_it) = 0;
    // Whether names that differ only in case name one file (Windows).
    virtual bool names_ignore_case() const = 0;
    // Takes the directory for this run, against other runs started in it,
    // by a lock on the file `lock_name` (made if missing). The system
    // releases the lock however the process ends. The file goes when the
    // run releases the lock, and on Windows also when the process is
    // killed; a killed run on POSIX systems leaves it, and the next run
    // takes it over.
    virtual LockResult lock_directory(const char* lock_name,
                                      std::unique_ptr<ExchangeLock>& lock) = 0;
};

// The file system of the working directory.
FileSystem& real_file_system();

// What became of a name that was to be removed.
enum class Removal {
    removed,
    already_gone, // nothing was under the name
    failed,       // the system refused, or could not tell
};
// Removes a name of the working directory in one system call, as a signal
// handler may.
Removal remove_name_at_once(const char* name) noexcept;
// For a signal handler too: whether `name` is the file `id` itself (not a
// link to it), and the swap of two names in one system call.
bool names_file_at_once(const char* name, const FileId& id) noexcept;
bool swap_at_once(const char* a, const char* b) noexcept;
// For a fault handler: removes the lock file this process made or holds,
// if its name still leads to that very file, from the moment it is made:
// a fault while the lock is being taken leaves no lock file either.
Removal remove_own_lock_file_at_once() noexcept;

// A read or write that a signal cut short asks `stop` whether to give up
// (and fail) rather than try again: the run's question whether an
// interrupt is pending. Until it is set, it tries again.
using StopQuestion = bool (*)() noexcept;
void give_up_cut_short_calls_when(StopQuestion stop) noexcept;
bool cut_short_call_gives_up() noexcept;

// Console streams as byte sinks.
ByteSink& standard_output();
ByteSink& standard_error();

} // namespace textmatte
