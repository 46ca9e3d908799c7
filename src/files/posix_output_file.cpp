#include "files/posix_output_file.hpp"

#include <cerrno>

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
        }
        return true;
    }
    bool sync() override { return fd_ >= 0 && ::fsync(fd_) == 0; }
    bool close() override { return close_descriptor(fd_); }

  private:
    int fd_;
};

} // namespace

std::unique_ptr<OutFile> make_posix_output_file(int fd) {
    return std::make_unique<PosixOutFile>(fd);
}

} // namespace textmatte
