// The program's file layer: the only code that touches the file system.
//
// Files are read and written as bytes; line ends are the interchange
// layer's business. Every operation reports failure so the run can keep the
// host's file safe, and tests can put a failing layer in its place.
#pragma once

#include <cstdint>
#include <memory>

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"

namespace textmatte {

class InFile : public ByteSource {
  public:
    [[nodiscard]] virtual bool close() = 0;
};

class OutFile : public ByteSink {
  public:
    // Makes what was written durable before the file replaces another.
    [[nodiscard]] virtual bool sync() = 0;
    [[nodiscard]] virtual bool close() = 0;
};

// What a name in the directory holds.
enum class EntryKind {
    missing,
    regular,   // a file, perhaps reached through a link
    directory, // perhaps reached through a link
    other,     // a FIFO, socket, device or a link that leads nowhere
};

// The identity of a file: equal for two names of one file.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileId&) const = default;
};

// Who may do what with a file: its permission bits, owner and group, where
// the platform has them. A new file made `like` an entry gets them.
struct Access {
    bool known = false;
    std::uint32_t mode = 0; // permission bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

struct Entry {
    EntryKind kind = EntryKind::missing;
    bool is_link = false; // the name itself is a symbolic link
    FileId itself;        // the directory entry's own file (for a link, the link)
    FileId target;        // what the name leads to, links followed
    Access access;        // of what the name leads to

    bool exists() const { return kind != EntryKind::missing || is_link; }
};

// Held while a run works on the exchange; released however the process
// ends, so it never goes stale.
class ExchangeLock {
  public:
    virtual ~ExchangeLock() = default;
};

enum class LockResult {
    locked,
    busy,       // another run holds it
    unavailable // no lock could be taken (no such file, no locks on this file system)
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens a regular file (links followed) for reading, without blocking on
    // a FIFO or device; nullptr for anything else or on failure.
    virtual std::unique_ptr<InFile> open_read(const char* name) = 0;
    // Creates a new, empty file, with the access of `like` where it is known
    // and may be given; nullptr when the name is taken (also by a link, which
    // is never followed) or creation fails.
    virtual std::unique_ptr<OutFile> create_new(const char* name, const Access& like) = 0;
    std::unique_ptr<OutFile> create_new(const char* name) { return create_new(name, Access{}); }
    // Moves `from` to `to`, replacing a file of that name, atomically.
    [[nodiscard]] virtual bool rename(const char* from, const char* to) = 0;
    // Removes a name of a file or link (never what a link leads to), but not
    // a directory.
    [[nodiscard]] virtual bool remove_name(const char* name) = 0;
    virtual Entry inspect(const char* name) = 0;
    // Makes the names in the directory, as renames and removals left them,
    // durable; `file_in_it` names a file there, for a platform that needs one.
    [[nodiscard]] virtual bool sync_directory(const char* file_in_it) = 0;
    // Whether names that differ only in case name one file (Windows).
    virtual bool names_ignore_case() const = 0;
    // Takes the exchange for this run, against other runs started in the
    // same directory: a lock on the existing regular file `host_name`, or,
    // where a platform cannot lock a file that it renames, on `lock_name`,
    // a file of its own that goes when the lock does.
    virtual LockResult lock_exchange(const char* host_name, const char* lock_name,
                                     std::unique_ptr<ExchangeLock>& lock) = 0;
    // Names a file to remove should the process die of a fault before the
    // run ends normally (nullptr: none). The name must outlive the run.
    virtual void remove_if_crashed(const char* name) = 0;
};

// The file system of the working directory.
FileSystem& real_file_system();

// Removes the file named by remove_if_crashed() on the real file system.
// Safe in a signal handler; only a crashing process calls it.
void remove_crash_leftover() noexcept;

// Console streams as byte sinks.
ByteSink& standard_output();
ByteSink& standard_error();

} // namespace textmatte
