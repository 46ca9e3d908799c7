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
    virtual bool close() = 0;
};

class OutFile : public ByteSink {
  public:
    // Makes what was written durable before the file replaces another.
    virtual bool sync() = 0;
    virtual bool close() = 0;
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

struct Entry {
    EntryKind kind = EntryKind::missing;
    bool is_link = false; // the name itself is a symbolic link
    FileId itself;        // the directory entry's own file (for a link, the link)
    FileId target;        // what the name leads to, links followed

    bool exists() const { return kind != EntryKind::missing || is_link; }
};

// Held while a run works in the directory; released however the process
// ends, so it never goes stale.
class DirectoryLock {
  public:
    virtual ~DirectoryLock() = default;
};

enum class LockResult { locked, busy, failed };

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens a regular file (links followed) for reading, without blocking on
    // a FIFO or device; nullptr for anything else or on failure.
    virtual std::unique_ptr<InFile> open_read(const char* name) = 0;
    // Creates a new, empty file; nullptr when the name is taken (also by a
    // link, which is never followed) or creation fails.
    virtual std::unique_ptr<OutFile> create_new(const char* name) = 0;
    // Moves `from` to `to`, replacing a file of that name, atomically.
    virtual bool rename(const char* from, const char* to) = 0;
    // Removes a name of a file or link (never what a link leads to), but not
    // a directory.
    virtual bool remove_name(const char* name) = 0;
    virtual Entry inspect(const char* name) = 0;
    // Takes the directory for this run, against other runs.
    virtual LockResult lock_directory(std::unique_ptr<DirectoryLock>& lock) = 0;
};

// The file system of the working directory.
FileSystem& real_file_system();

// Console streams as byte sinks.
ByteSink& standard_output();
ByteSink& standard_error();

} // namespace textmatte
