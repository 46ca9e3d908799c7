// A heap buffer of bytes that is left uninitialised: its pages are only
// touched as it fills, which the buffer of a small drawing never does.
#pragma once

#include <cstddef>
#include <memory>

namespace textmatte {

// The size files are read and written in: the line reader's block and the
// output's buffer.
inline constexpr std::size_t kFileBlock = 1 << 16;

class ByteBuffer {
  public:
    explicit ByteBuffer(std::size_t size)
        : bytes_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

  private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_;
};

} // namespace textmatte
