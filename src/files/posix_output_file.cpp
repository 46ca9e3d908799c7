#include "files/posix_output_file.hpp"
#include "files/posix_descriptor.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace textmatte {

namespace {

// How much written output is handed to the disk at a time: large enough
// that the calls cost little, small enough that the final sync waits for
// little more than the last step.
constexpr std::size_t kWritebackStep = 1 << 20;

// The output file, written on the run's own thread. Each time another step
// of the file is written, Linux is asked to start putting that range
// on the disk, without waiting for it: the disk then works while the run
// computes, and the sync before the file replaces the host's waits only
// for the tail. Starting the writeback is a hint: its result is not looked
// at, and any write error it meets is still reported by the sync.
//
// Once a write has failed, every later write, the sync and the close fail
// too, and system_error() keeps the system's code of the first failure.
class PosixOutFile final : public OutFile {
  public:
    explicit PosixOutFile(int fd) : fd_(fd) {}
    ~PosixOutFile() override { (void)close_descriptor(fd_); } // nothing to report on the way out
    PosixOutFile(const PosixOutFile&) = delete;
    PosixOutFile& operator=(const PosixOutFile&) = delete;

    bool write(const char* data, std::size_t size) override {
        if (fd_ < 0) return fail(EBADF);
        if (error_ != 0) return false;
        while (size > 0) {
            // A write cut short by a signal (EINTR) gives up when the signal
            // asked the run to stop, and is tried again otherwise.
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR && !cut_short_call_gives_up()) continue;
            // 0 bytes written with no error: nothing more fits.
            if (put <= 0) return fail(put < 0 ? errno : ENOSPC);
            data += put;
            size -= static_cast<std::size_t>(put);
            written_ += static_cast<std::size_t>(put);
        }
        if (written_ - handed_to_disk_ >= kWritebackStep) start_writeback();
        return true;
    }
    bool sync() override {
        if (fd_ < 0) return fail(EBADF);
        if (error_ != 0) return false;
        return ::fsync(fd_) == 0 || fail(errno);
    }
    bool close() override {
        if (!close_descriptor(fd_)) return fail(errno);
        return error_ == 0;
    }
    int system_error() const override { return error_; }

  private:
    // Notes the first failure's code; always false.
    bool fail(int code) {
        if (error_ == 0) error_ = code != 0 ? code : EIO;
        return false;
    }
    void start_writeback() {
#if defined(__linux__)
        (void)::sync_file_range(fd_, static_cast<off64_t>(handed_to_disk_),
                                static_cast<off64_t>(written_ - handed_to_disk_),
                                SYNC_FILE_RANGE_WRITE); // a hint: the sync reports what fails
#endif
        handed_to_disk_ = written_;
    }

    int fd_;
    int error_ = 0;                  // the system's code of the first failure; 0: none
    std::size_t written_ = 0;        // bytes written so far, from the file's start
    std::size_t handed_to_disk_ = 0; // of which the disk has been asked to write
};

} // namespace

std::unique_ptr<OutFile> make_posix_output_file(int fd) {
    return std::make_unique<PosixOutFile>(fd);
}

} // namespace textmatte
