#include "files/posix_output_file.hpp"
#include "files/posix_descriptor.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "files/posix_write_behind.hpp"

namespace textmatte {

namespace {

// How much written output is handed to the disk at a time: large enough
// that the calls cost little, small enough that the final sync waits for
// little more than the last step.
constexpr std::size_t kWritebackStep = 1 << 20;

// Writes to the descriptor and, each time another step of the file is
// written, has the system start putting that range on the disk, without
// waiting for it. The disk then works while the run computes, and the sync
// before the file replaces the host's waits only for the tail. Starting the
// writeback is a hint: its result is not looked at, and any write error it
// meets is still reported by the sync.
class Descriptor final : public ByteSink {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() override { (void)close_descriptor(fd_); } // nothing to report on the way out
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (fd_ < 0) return false;
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR && !cut_short_call_gives_up()) continue;
            if (put <= 0) return false; // a full disk, a file-size limit ...
            data += put;
            size -= static_cast<std::size_t>(put);
            written_ += static_cast<std::size_t>(put);
        }
        if (written_ - handed_to_disk_ >= kWritebackStep) start_writeback();
        return true;
    }
    [[nodiscard]] bool sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }
    [[nodiscard]] bool close() { return close_descriptor(fd_); }

  private:
    void start_writeback() {
#if defined(__linux__)
        (void)::sync_file_range(fd_, static_cast<off64_t>(handed_to_disk_),
                                static_cast<off64_t>(written_ - handed_to_disk_),
                                SYNC_FILE_RANGE_WRITE); // a hint: the sync reports what fails
#endif
        handed_to_disk_ = written_;
    }

    int fd_;
    std::size_t written_ = 0;        // bytes written so far, from the file's start
    std::size_t handed_to_disk_ = 0; // of which the disk has been asked to write
};

// The output file. Its blocks are written behind the computation by a
// thread of their own, started with the first block, so the copying into
// the system's cache and starting the disk's writes take no time from the
// run. Where that thread cannot be had, the caller writes them itself. The
// thread ends with the file's sync or close, or, on a way out that does
// neither, with the file.
class PosixOutFile final : public OutFile {
  public:
    explicit PosixOutFile(int fd) : file_(fd) {}

    bool write(const char* data, std::size_t size) override {
        if (failed_) return false;
        if (!started_behind_) {
            started_behind_ = true;
            behind_ = WriteBehind::start(file_);
        }
        const bool ok = behind_ ? behind_->write(data, size) : file_.write(data, size);
        if (!ok) failed_ = true;
        return ok;
    }
    bool sync() override { return finish_writing_behind() && file_.sync(); }
    bool close() override {
        const bool ok = finish_writing_behind();
        return file_.close() && ok;
    }

  private:
    // After this the caller writes itself again, should it write more.
    [[nodiscard]] bool finish_writing_behind() {
        if (behind_ && !behind_->finish()) failed_ = true;
        behind_.reset();
        return !failed_;
    }

    Descriptor file_;
    std::unique_ptr<WriteBehind> behind_; // ends before file_ closes
    bool started_behind_ = false;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<OutFile> make_posix_output_file(int fd) {
    return std::make_unique<PosixOutFile>(fd);
}

} // namespace textmatte
