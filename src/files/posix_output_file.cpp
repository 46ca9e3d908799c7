#include "files/posix_output_file.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace textmatte {

namespace {

// Closes a descriptor once; reports whether the close went well.
bool close_descriptor(int& fd) {
    if (fd < 0) return true;
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

// How much written output is handed to the disk at a time while later
// blocks are still computed: large enough that the calls cost little,
// small enough that the final sync waits for little more than the tail.
constexpr std::size_t kWritebackStep = 1 << 20;

// Writes blocks as they come and, each time another step of them is
// written, has the system start putting that range on the disk, without
// waiting for it. The disk then works while the run computes, and the sync
// before the file replaces the host's waits only for the last step instead
// of the whole file. Starting the writeback is a hint: its result is not
// looked at, and any write error it meets is still reported by the sync.
class PosixOutFile final : public OutFile {
  public:
    explicit PosixOutFile(int fd) : fd_(fd) {}
    ~PosixOutFile() override { (void)close_descriptor(fd_); } // nothing to report on the way out

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (fd_ < 0) return false;
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false; // a full disk, a file-size limit ...
            data += put;
            size -= static_cast<std::size_t>(put);
            written_ += static_cast<std::size_t>(put);
        }
        if (written_ - handed_to_disk_ >= kWritebackStep) start_writeback();
        return true;
    }
    bool sync() override { return fd_ >= 0 && ::fsync(fd_) == 0; }
    bool close() override { return close_descriptor(fd_); }

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

} // namespace

std::unique_ptr<OutFile> make_posix_output_file(int fd) {
    return std::make_unique<PosixOutFile>(fd);
}

} // namespace textmatte
