// The file layer on POSIX systems.
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/files.hpp"

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
    ~PosixInFile() override { close_descriptor(fd_); }

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

class PosixOutFile final : public OutFile {
  public:
    explicit PosixOutFile(int fd) : fd_(fd) {}
    ~PosixOutFile() override { close_descriptor(fd_); }

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (fd_ < 0) return false;
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false; // a full disk, a file-size limit ...
            data += put;
            size -= static_cast<std::size_t>(put);
        }
        return true;
    }
    bool sync() override { return fd_ >= 0 && ::fsync(fd_) == 0; }
    bool close() override { return close_descriptor(fd_); }

  private:
    int fd_;
};

class PosixLock final : public DirectoryLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { close_descriptor(fd_); } // closing releases the lock

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

class WorkingDirectory final : public FileSystem {
  public:
    std::unique_ptr<InFile> open_read(const char* name) override {
        // Non-blocking, so a FIFO cannot hold the run; checked, then blocking.
        int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            close_descriptor(fd);
            return nullptr;
        }
        return std::make_unique<PosixInFile>(fd);
    }

    std::unique_ptr<OutFile> create_new(const char* name) override {
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixOutFile>(fd);
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
        return e;
    }

    LockResult lock_directory(std::unique_ptr<DirectoryLock>& lock) override {
        const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return LockResult::failed;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            return busy ? LockResult::busy : LockResult::failed;
        }
        lock = std::make_unique<PosixLock>(fd);
        return LockResult::locked;
    }
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

} // namespace textmatte
