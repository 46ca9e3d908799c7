// Buffered byte output with the program's own line-end handling.
//
// Files are written in binary mode and every newline goes out as CR LF, the
// same on every platform; standard output keeps plain newlines and leaves
// the rest to the console. Write failures are sticky: once a write to the
// sink fails, the output stays failed and the run can report it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace textmatte {

// Where bytes finally go: a file, a console stream or a string in a test.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all of the bytes or reports failure.
    virtual bool write(const char* data, std::size_t size) = 0;
};

class StringSink final : public ByteSink {
  public:
    bool write(const char* data, std::size_t size) override {
        bytes.append(data, size);
        return true;
    }
    std::string bytes;
};

enum class LineEnds { crlf, lf };

class Output {
  public:
    static constexpr std::size_t kDefaultCapacity = 1 << 16;

    Output(ByteSink& sink, LineEnds ends, std::size_t capacity = kDefaultCapacity);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Appends bytes; each '\n' among them becomes the output's line end.
    void put(const char* data, std::size_t size);
    void put(std::string_view text) { put(text.data(), text.size()); }
    void put_char(char c);
    // Appends bytes that are known to hold no newline.
    void put_plain(const char* data, std::size_t size);

    // Direct writing into the buffer: claim room for up to `size` bytes
    // (the buffer grows if it is smaller than that), write them, then commit the end
    // of what was written. The bytes must hold no newline.
    char* claim(std::size_t size) {
        reserve(size);
        return buffer_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

    // Hands everything buffered to the sink; false once anything failed.
    bool flush();
    bool ok() const { return ok_; }

  private:
    void reserve(std::size_t size);
    void drain();

    ByteSink& sink_;
    bool crlf_;
    bool ok_ = true;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

} // namespace textmatte
