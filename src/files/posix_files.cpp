// The file layer on POSIX systems.
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
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

std::atomic<StopQuestion> stop_question{nullptr};
static_assert(std::atomic<StopQuestion>::is_always_lock_free, "read after a signal");

class PosixInFile final : public InFile {
  public:
    explicit PosixInFile(int fd) : fd_(fd) {}
    ~PosixInFile() override { (void)close_descriptor(fd_); } // nothing to report on the way out

    // A read that blocks (a hung network or FUSE file) and is cut short by
    // a signal gives up when the run is to stop.
    long read(char* data, std::size_t size) override {
        if (fd_ < 0) return fail(EBADF), -1;
        for (;;) {
            const ssize_t got = ::read(fd_, data, size);
            if (got >= 0) return static_cast<long>(got);
            if (errno != EINTR || cut_short_call_gives_up()) return fail(errno), -1;
        }
    }
    bool rewind() override {
        if (fd_ < 0) return fail(EBADF);
        return ::lseek(fd_, 0, SEEK_SET) == 0 || fail(errno);
    }
    bool close() override { return close_descriptor(fd_); }
    int system_error() const override { return error_; }

  private:
    // Notes the failure's code; always false.
    bool fail(int code) {
        error_ = code != 0 ? code : EIO;
        return false;
    }

    int fd_;
    int error_ = 0;
};

// A second descriptor of a file: while it is open the file's inode is not
// freed, so no file made later gets its identity.
class DescriptorHold final : public FileHold {
  public:
    explicit DescriptorHold(int fd) : fd_(fd) {}
    ~DescriptorHold() override { (void)close_descriptor(fd_); } // only held

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

// Opens a regular file for reading; -1 for anything else, with errno 0
// where there is no regular file under the name. A device is never opened
// (opening some has effects), and the open does not block, so a FIFO put
// in the file's place meanwhile cannot hold the run; checked, then
// blocking.
int open_regular(const char* name, struct stat& st) {
    if (::stat(name, &st) != 0) {
        if (errno == ENOENT) errno = 0;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) return errno = 0, -1;
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) errno = 0; // gone since the look
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = S_ISREG(st.st_mode) ? errno : 0;
        (void)close_descriptor(fd); // refused anyway
        return errno = error, -1;
    }
    return fd;
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

bool no_acls_here(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// Gives a new file the access ACL of another, or none where the other has
// none (a default ACL of the directory may have given it one). A file
// system without ACLs has nothing to copy; any other failure is one.
[[nodiscard]] bool copy_access_acl(int fd, const char* like_name) {
    const ssize_t size = ::getxattr(like_name, kAccessAcl, nullptr, 0);
    if (size < 0) {
        if (no_acls_here(errno)) return true;
        if (errno != ENODATA) return false; // ENODATA: it has none
        return ::fremovexattr(fd, kAccessAcl) == 0 || errno == ENODATA || no_acls_here(errno);
    }
    std::string acl(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::getxattr(like_name, kAccessAcl, acl.data(), acl.size());
    return got > 0 &&
           ::fsetxattr(fd, kAccessAcl, acl.data(), static_cast<std::size_t>(got), 0) == 0;
}

// Gives a new file the permissions, owner and group of another: all of
// them, checked afterwards, or false. The permissions go first, while the
// file is still the process's own; then the owner and group, unless the
// file has them already. Only the permission bits: no set-id or sticky bit
// on a drawing.
[[nodiscard]] bool give_access_of(int fd, const char* like_name) {
    struct stat like {};
    if (::stat(like_name, &like) != 0 || !copy_access_acl(fd, like_name)) return false;
    // An ACL's mask is the group bits: the same after the ACL as before.
    if (::fchmod(fd, like.st_mode & 0777) != 0) return false;
    struct stat made {};
    if (::fstat(fd, &made) != 0) return false;
    if ((made.st_uid != like.st_uid || made.st_gid != like.st_gid) &&
        (::fchown(fd, like.st_uid, like.st_gid) != 0 || ::fstat(fd, &made) != 0))
        return false;
    if ((made.st_mode & 0777) == (like.st_mode & 0777) && made.st_uid == like.st_uid &&
        made.st_gid == like.st_gid)
        return true;
    errno = EPERM; // no call failed, yet the file does not have them
    return false;
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
// The lock file this process made or holds, for the fault handler: the id
// is written before the name is stored, and read on the same thread.
std::atomic<const char*> own_lock_name{nullptr};
FileId own_lock_id;
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

void note_own_lock_file(const char* name, int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    own_lock_id = identity(st);
    own_lock_name.store(name);
}

void forget_own_lock_file() {
    own_lock_name.store(nullptr);
}

class PosixLock final : public ExchangeLock {
  public:
    PosixLock(int fd, const char* name) : fd_(fd), name_(name) {}
    ~PosixLock() override {
        forget_own_lock_file(); // from here on the file may be another run's
        if (still_named(fd_, name_))
            (void)::unlink(name_);   // a lock file left behind is taken by the next run
        (void)close_descriptor(fd_); // closing releases the lock
    }
    bool still_held() const override { return still_named(fd_, name_); }

  private:
    int fd_;
    const char* name_;
};

// The answers of flock that mean the file system has no locks at all (a
// network or FUSE file system, say); any other failure is one.
bool offers_no_locks(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

constexpr mode_t kLockMode = 0644; // other users' runs must open it too

// Makes the lock file, complete with its mode before it appears under its
// name, so that no other user's run ever finds one it cannot open: made
// without a name, given its mode, then linked under the name, never over a
// file there. Where the file system cannot make a file without a name, it
// is made under its name with its mode at once, the umask set aside. -1
// with errno EEXIST when another run made it first.
int make_lock_file(const char* name) {
#if defined(O_TMPFILE)
    int fd = ::open(".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char path[32];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        const bool linked = ::fchmod(fd, kLockMode) == 0 &&
                            ::linkat(AT_FDCWD, path, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
        if (linked) return fd;
        const int error = errno;
        (void)close_descriptor(fd); // the file without a name goes with it
        if (error == EEXIST) return errno = EEXIST, -1;
    }
#endif
    const mode_t mask = ::umask(0);
    const int made =
        ::open(name, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kLockMode);
    (void)::umask(mask); // returns the mask set just above
    // A default ACL of the folder takes the umask's place and may have
    // narrowed the mode.
    if (made >= 0) (void)::fchmod(made, kLockMode);
    return made;
}

// Why a name that is not a regular file cannot serve as the lock file: a
// directory, as the system says it; a link, a FIFO or a device is the
// program's own refusal (0).
int not_a_lock_file(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? EISDIR : 0;
}

// Opens the lock file read-only (a lock needs no more, and another user
// sharing the folder may open it too), or makes it. A link, a directory, a
// FIFO or a device under the name is refused. -1 with errno: ENOENT or
// EEXIST when the name changed meanwhile (try again), anything else (0
// included) when it cannot be had.
int open_lock_file(const char* name, bool& made) {
    made = false;
    struct stat st {};
    if (::lstat(name, &st) == 0) {
        if (!S_ISREG(st.st_mode)) return errno = not_a_lock_file(st), -1;
        int fd = ::open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return -1;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            const int error = S_ISREG(st.st_mode) ? errno : not_a_lock_file(st);
            (void)close_descriptor(fd); // refused anyway
            return errno = error, -1;
        }
        return fd;
    }
    if (errno != ENOENT) return -1;
    const int fd = make_lock_file(name);
    made = fd >= 0;
    return fd;
}

// The path from `done` (a resolved folder, "" for the working one) to the
// entry `component` in it.
std::string joined(const std::string& done, const std::string& component) {
    std::string path = done;
    if (!path.empty() && path != "/") path.push_back('/');
    path.append(component);
    return path;
}

// The components of a path, in order; "." and empty ones left out.
void push_components_front(std::vector<std::string>& left, const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = slash + 1;
    }
    left.insert(left.begin(), parts.begin(), parts.end());
}

class WorkingDirectory final : public FileSystem {
  public:
    OpenedFile open_read(const char* name) override {
        struct stat st {};
        const int fd = open_regular(name, st);
        if (fd < 0) return {nullptr, Outcome(Outcome::failed, errno), {}, errno == 0};
        return {std::make_unique<PosixInFile>(fd), Outcome::done, state_of(st), false};
    }

    NewFile create_new(const char* name, const char* like_name) override {
        // Private until it has the access it is to have.
        const mode_t first = like_name ? 0600 : 0666;
        int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, first);
        if (fd < 0) return {nullptr, {}, false, nullptr, errno};
        struct stat st {};
        const bool known = ::fstat(fd, &st) == 0;
        NewFile made{nullptr, identity(st), false, nullptr, 0};
        if (!known || (like_name && !give_access_of(fd, like_name))) {
            made.system_error = errno;
            if (still_named(fd, name)) (void)::unlink(name); // else not ours to remove
            (void)close_descriptor(fd);                      // nothing written
            made.access_refused = known;
            return made;
        }
        const int second = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (second >= 0) made.hold = std::make_unique<DescriptorHold>(second); // else unheld
        made.file = make_posix_output_file(fd);
        return made;
    }

    Outcome rename(const char* from, const char* to) override {
        if (std::rename(from, to) == 0) return Outcome::done;
        return {Outcome::failed, errno};
    }

    Swap swap(const char* a, const char* b) override {
#if defined(RENAME_EXCHANGE)
        if (::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0) return Swap::done;
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) return Swap::unsupported;
        return {Swap::failed, errno};
#else
        (void)a, (void)b;
        return Swap::unsupported;
#endif
    }

    Outcome remove_name(const char* name) override {
        if (::unlink(name) == 0) return Outcome::done;
        return {Outcome::failed, errno};
    }

    Entry inspect(const char* name) override {
        Entry e;
        struct stat st {};
        if (::lstat(name, &st) != 0) {
            e.unreadable = errno != ENOENT && errno != ENOTDIR;
            if (e.unreadable) e.system_error = errno;
            return e;
        }
        e.is_link = S_ISLNK(st.st_mode);
        e.entry_file = identity(st);
        if (e.is_link && ::stat(name, &st) != 0) {
            e.unreadable = errno == EIO;
            if (e.unreadable) e.system_error = errno;
            e.kind = EntryKind::other; // a link that leads nowhere
            return e;
        }
        e.kind = kind_of(st);
        e.target = state_of(st);
        return e;
    }

    // Resolves the path as the system does, a component at a time, and
    // notes every entry passed on the way: each folder and each link of
    // the target of every link, and the last entry.
    std::vector<FileId> reached_through_links(const char* name) override {
        std::vector<FileId> reached;
        struct stat st {};
        if (::lstat(name, &st) != 0 || !S_ISLNK(st.st_mode)) return reached;
        std::vector<std::string> left; // components still to resolve, in order
        std::string done;              // the folder resolved so far
        int links = 0;
        std::string at = name;
        for (;;) {
            if (S_ISLNK(st.st_mode)) {
                char target[PATH_MAX];
                const ssize_t n = ::readlink(at.c_str(), target, sizeof target);
                if (n <= 0 || static_cast<std::size_t>(n) == sizeof target || ++links > kMostLinks)
                    break;
                const std::string to(target, static_cast<std::size_t>(n));
                if (to[0] == '/') done.assign(1, '/');
                push_components_front(left, to);
            } else {
                done = at;
            }
            if (left.empty()) break;
            at = joined(done, left.front());
            left.erase(left.begin());
            if (::lstat(at.c_str(), &st) != 0) break;
            reached.push_back(identity(st));
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
                return {LockResult::refused, errno};
            }
            if (made) note_own_lock_file(lock_name, fd); // a fault from here removes it
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int error = errno;
                const bool busy = error == EWOULDBLOCK;
                forget_own_lock_file();
                // Made here, and not locked: nobody else holds it.
                if (made && !busy) (void)::unlink(lock_name);
                (void)close_descriptor(fd); // a lock not taken: nothing to release
                if (busy) return LockResult::busy;
                if (offers_no_locks(error)) return LockResult::unavailable;
                return {LockResult::refused, error};
            }
            if (still_named(fd, lock_name)) {
                note_own_lock_file(lock_name, fd); // locked: ours until released
                lock = std::make_unique<PosixLock>(fd, lock_name);
                return LockResult::locked;
            }
            forget_own_lock_file();
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

std::string system_reason(int system_error) {
    return std::strerror(system_error);
}

Removal remove_name_at_once(const char* name) noexcept {
    if (::unlink(name) == 0) return Removal::removed;
    return errno == ENOENT ? Removal::already_gone : Removal::failed;
}

bool names_file_at_once(const char* name, const FileId& id) noexcept {
    struct stat st {};
    return ::lstat(name, &st) == 0 && !S_ISLNK(st.st_mode) && identity(st) == id;
}

Removal remove_own_lock_file_at_once() noexcept {
    const char* name = own_lock_name.load();
    if (!name || !names_file_at_once(name, own_lock_id)) return Removal::already_gone;
    return remove_name_at_once(name);
}

bool swap_at_once(const char* a, const char* b) noexcept {
#if defined(RENAME_EXCHANGE)
    return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0;
#else
    (void)a, (void)b;
    return false;
#endif
}

void give_up_cut_short_calls_when(StopQuestion stop) noexcept {
    stop_question.store(stop);
}

bool cut_short_call_gives_up() noexcept {
    const StopQuestion stop = stop_question.load();
    return stop && stop();
}

} // namespace textmatte
