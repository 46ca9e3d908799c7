// The file layer on POSIX systems.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "files/files.hpp"
#include "files/posix_descriptor.hpp"
#include "files/posix_output_file.hpp"

namespace textmatte {

namespace {

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

EntryKind kind_of(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return EntryKind::regular;
    if (S_ISDIR(st.st_mode)) return EntryKind::directory;
    return EntryKind::other;
}

FileId identity(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileState state_of(const struct stat& st) {
    return {identity(st), static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

// Opens a regular file for reading; -1 for anything else. A device is never
// opened (opening some has effects), and the open does not block, so a FIFO
// put in the file's place meanwhile cannot hold the run; checked, then
// blocking.
int open_regular(const char* name, struct stat& st) {
    if (::stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        (void)close_descriptor(fd); // refused anyway
        return -1;
    }
    return fd;
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// Gives a new file the access ACL of another, or none where the other has
// none (a default ACL of the directory may have given it one). A file
// system without ACLs has nothing to copy.
void copy_access_acl(int fd, const char* like_name) {
    const ssize_t size = ::getxattr(like_name, kAccessAcl, nullptr, 0);
    if (size < 0) {
        if (errno == ENODATA) (void)::fremovexattr(fd, kAccessAcl); // ENODATA when it has none
        return;
    }
    std::string acl(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::getxattr(like_name, kAccessAcl, acl.data(), acl.size());
    if (got > 0) (void)::fsetxattr(fd, kAccessAcl, acl.data(), static_cast<std::size_t>(got), 0);
}

// Gives a new file the permissions, owner and group of another, as far as
// this process may. The permissions go first, while the file is still the
// process's own; then the owner, which a process may be unable to give
// (another user's file), and then at least the group where it belongs to
// it. Only the permission bits: no set-id or sticky bit on a drawing.
void give_access_of(int fd, const char* like_name) {
    struct stat like {};
    if (::stat(like_name, &like) != 0) return;
    copy_access_acl(fd, like_name);
    // An ACL's mask is the group bits: the same after the ACL as before.
    (void)::fchmod(fd, like.st_mode & 0777); // the file is ours: cannot fail
    if (::fchown(fd, like.st_uid, like.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), like.st_gid); // may be denied: stays ours
}

// Whether `fd` is the file under `name`, not a link: a lock file removed or
// replaced after it was opened locks nothing.
bool still_named(int fd, const char* name) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(name, &named) == 0 && !S_ISLNK(named.st_mode) &&
           identity(held) == identity(named);
}

// An advisory lock on an open lock file: the system releases it when the
// descriptor closes, also when the process is killed. The file goes first,
// as long as it is still the one under the name.
class PosixLock final : public ExchangeLock {
  public:
    PosixLock(int fd, const char* name) : fd_(fd), name_(name) {}
    ~PosixLock() override {
        if (still_named(fd_, name_))
            (void)::unlink(name_);   // a lock file left behind is taken by the next run
        (void)close_descriptor(fd_); // closing releases the lock
    }

  private:
    int fd_;
    const char* name_;
};

// Opens the lock file, or makes it, read-only: a lock needs no more, and
// another user sharing the folder may open it too. A link, a directory, a
// FIFO or a device under the name is refused. -1 with errno: ENOENT or
// EEXIST when the name changed meanwhile (try again), anything else when
// it cannot be had.
int open_lock_file(const char* name, bool& made) {
    made = false;
    struct stat st {};
    if (::lstat(name, &st) == 0) {
        if (!S_ISREG(st.st_mode)) return errno = EINVAL, -1;
        int fd = ::open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return -1;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            (void)close_descriptor(fd); // refused anyway
            return errno = EINVAL, -1;
        }
        return fd;
    }
    if (errno != ENOENT) return -1;
    int fd = ::open(name, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return -1;
    (void)::fchmod(fd, 0644); // whatever the umask: other users' runs must open it too
    made = true;
    return fd;
}

class WorkingDirectory final : public FileSystem {
  public:
    OpenedFile open_read(const char* name) override {
        struct stat st {};
        const int fd = open_regular(name, st);
        if (fd < 0) return {};
        return {std::make_unique<PosixInFile>(fd), Outcome::done, state_of(st)};
    }

    std::unique_ptr<OutFile> create_new(const char* name, const char* like_name) override {
        // Private until it has the access it is to have.
        const mode_t first = like_name ? 0600 : 0666;
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, first);
        if (fd < 0) return nullptr;
        if (like_name) give_access_of(fd, like_name);
        return make_posix_output_file(fd);
    }

    Outcome rename(const char* from, const char* to) override {
        return std::rename(from, to) == 0 ? Outcome::done : Outcome::failed;
    }

    Outcome remove_name(const char* name) override {
        return ::unlink(name) == 0 ? Outcome::done : Outcome::failed;
    }

    Entry inspect(const char* name) override {
        Entry e;
        struct stat st {};
        if (::lstat(name, &st) != 0) return e;
        e.is_link = S_ISLNK(st.st_mode);
        e.entry_file = identity(st);
        if (e.is_link && ::stat(name, &st) != 0) {
            e.kind = EntryKind::other; // a link that leads nowhere
            return e;
        }
        e.kind = kind_of(st);
        e.target = state_of(st);
        return e;
    }

    std::vector<FileId> reached_through_links(const char* name) override {
        std::vector<FileId> reached;
        std::string path = name;
        for (int depth = 0; depth <= kMostLinks; ++depth) {
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) break;
            if (depth > 0) reached.push_back(identity(st));
            if (!S_ISLNK(st.st_mode)) break;
            char target[PATH_MAX];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            if (n <= 0 || static_cast<std::size_t>(n) == sizeof target) break;
            // A relative target is relative to the link's own directory.
            const std::string to(target, static_cast<std::size_t>(n));
            const std::size_t slash = path.rfind('/');
            path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
        }
        return reached;
    }

    // A directory the user may write but not read cannot be opened to be
    // synced; the whole file system it lies on is synced instead, through a
    // file in it.
    bool sync_directory(const char* file_in_it) override {
        int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // EINVAL: nothing to sync
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

    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            bool made = false;
            int fd = open_lock_file(lock_name, made);
            if (fd < 0) {
                if (errno == ENOENT || errno == EEXIST) continue; // the name changed meanwhile
                return LockResult::refused;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const bool busy = errno == EWOULDBLOCK;
                // Made here, on a file system without locks: nobody else holds it.
                if (made && !busy) (void)::unlink(lock_name);
                (void)close_descriptor(fd); // a lock not taken: nothing to release
                return busy ? LockResult::busy : LockResult::unavailable;
            }
            if (still_named(fd, lock_name)) {
                lock = std::make_unique<PosixLock>(fd, lock_name);
                return LockResult::locked;
            }
            (void)close_descriptor(fd); // removed or replaced meanwhile: lock the one there now
        }
        return LockResult::busy;
    }

  private:
    static constexpr int kMostLinks = 40; // as the system follows at most
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

bool remove_name_at_once(const char* name) noexcept {
    return ::unlink(name) == 0;
}

} // namespace textmatte
