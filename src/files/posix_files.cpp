// The file layer on POSIX systems.
#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/files.hpp"
#include "files/posix_output_file.hpp"

namespace textmatte {

namespace {

// Closes a descriptor once; reports whether the close went well.
bool close_descriptor(int& fd) {
    if (fd < 0) return true;
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

class PosixInFile final : public InFile {
  public:
    explicit PosixInFile(int fd) : fd_(fd) {}
    ~PosixInFile() override { (void)close_descriptor(fd_); } // nothing to report on the way out

    long read(char* data, std::size_t size) override {
        if (fd_ < 0) return -1;
        for (;;) {
            const ssize_t got = ::read(fd_, data, size);
            if (got >= 0) return static_cast<long>(got);
            if (errno != EINTR) return -1;
        }
    }
    bool close() override { return close_descriptor(fd_); }

  private:
    int fd_;
};

// An advisory lock on an open file: the system releases it when the
// descriptor closes, also when the process is killed.
class PosixLock final : public ExchangeLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { (void)close_descriptor(fd_); } // closing releases the lock

  private:
    int fd_;
};

EntryKind kind_of(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return EntryKind::regular;
    if (S_ISDIR(st.st_mode)) return EntryKind::directory;
    return EntryKind::other;
}

FileId identity(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

Access access_of(const struct stat& st) {
    return {true, static_cast<std::uint32_t>(st.st_mode & 07777),
            static_cast<std::uint32_t>(st.st_uid), static_cast<std::uint32_t>(st.st_gid)};
}

// Opens a regular file for reading; -1 for anything else. A device is never
// opened (opening some has effects), and the open does not block, so a FIFO
// put in the file's place meanwhile cannot hold the run; checked, then
// blocking.
int open_regular(const char* name) {
    struct stat named {};
    if (::stat(name, &named) != 0 || !S_ISREG(named.st_mode)) return -1;
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        (void)close_descriptor(fd); // refused anyway
        return -1;
    }
    return fd;
}

// Gives a new file the owner, group and permission bits of another, as far
// as this process may: another user's file keeps its group where the user
// belongs to it, and its bits always.
void give_access(int fd, const Access& like) {
    if (::fchown(fd, static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(like.group)); // may be denied
    // Only the permission bits: no set-id or sticky bit on a drawing.
    (void)::fchmod(fd, static_cast<mode_t>(like.mode & 0777)); // the file is ours: cannot fail
}

// The file of the crashing process's partial output, if any.
std::atomic<const char*> crash_leftover{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "needed in a signal handler");

class WorkingDirectory final : public FileSystem {
  public:
    std::unique_ptr<InFile> open_read(const char* name) override {
        const int fd = open_regular(name);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixInFile>(fd);
    }

    std::unique_ptr<OutFile> create_new(const char* name, const Access& like) override {
        // Private until it has the access it is to have.
        const mode_t first = like.known ? 0600 : 0666;
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, first);
        if (fd < 0) return nullptr;
        if (like.known) give_access(fd, like);
        return make_posix_output_file(fd);
    }

    bool rename(const char* from, const char* to) override { return std::rename(from, to) == 0; }

    bool remove_name(const char* name) override { return ::unlink(name) == 0; }

    Entry inspect(const char* name) override {
        Entry e;
        struct stat st {};
        if (::lstat(name, &st) != 0) return e;
        e.is_link = S_ISLNK(st.st_mode);
        e.itself = identity(st);
        if (e.is_link && ::stat(name, &st) != 0) {
            e.kind = EntryKind::other; // a link that leads nowhere
            return e;
        }
        e.kind = kind_of(st);
        e.target = identity(st);
        e.access = access_of(st);
        return e;
    }

    // A directory the user may write but not read cannot be opened to be
    // synced; the whole file system it lies on is synced instead, through a
    // file in it.
    bool sync_directory(const char* file_in_it) override {
        int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            const bool ok = ::fsync(fd) == 0;
            return close_descriptor(fd) && ok;
        }
        fd = ::open(file_in_it, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return false;
#if defined(__linux__)
        const bool ok = ::syncfs(fd) == 0;
#else
        ::sync();
        const bool ok = true;
#endif
        return close_descriptor(fd) && ok;
    }

    bool names_ignore_case() const override {
        return false;
    }

    // The host's file itself is locked: that needs no right beyond those a
    // run needs anyway. A run that finishes replaces the file under the name,
    // so a lock taken on the file the name held a moment ago is taken again
    // on the one it holds now.
    LockResult lock_exchange(const char* host_name, const char*,
                             std::unique_ptr<ExchangeLock>& lock) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            int fd = open_regular(host_name);
            if (fd < 0) return LockResult::unavailable;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const bool busy = errno == EWOULDBLOCK;
                (void)close_descriptor(fd); // a lock not taken: nothing to release
                return busy ? LockResult::busy : LockResult::unavailable;
            }
            struct stat locked {
            }, named{};
            if (::fstat(fd, &locked) == 0 && ::stat(host_name, &named) == 0 &&
                identity(locked) == identity(named)) {
                lock = std::make_unique<PosixLock>(fd);
                return LockResult::locked;
            }
            (void)close_descriptor(fd); // a file no longer under the name: try the new one
        }
        return LockResult::busy;
    }

    void remove_if_crashed(const char* name) override {
        crash_leftover.store(name);
    }
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

void remove_crash_leftover() noexcept {
    if (const char* name = crash_leftover.load()) (void)::unlink(name); // nothing else to try
}

} // namespace textmatte
