// Buffered byte output with the program's own line-end handling. Records
// and traces are written into it through the formats of format.hpp.
//
// Files are written in binary mode and every line end goes out as CR LF,
// the same on every platform; standard output keeps plain newlines and
// leaves the rest to the console. Write failures are sticky: once a write
// to the sink fails, the output stays failed and the run can report it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "interchange/byte_buffer.hpp"
#include "interchange/numbers.hpp"

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
    Output(ByteSink& sink, LineEnds ends, std::size_t capacity = kFileBlock);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Bytes known to hold no newline (the program's own words, or a copied
    // line without its line end), written as they are.
    void literal(std::string_view bytes) {
        if (bytes.size() <= room()) {
            copy_in(bytes);
            return;
        }
        put_long(bytes);
    }
    // Bytes as read (a copied line, a text): each '\n' becomes a line end.
    void text(std::string_view bytes);
    void end_line() {
        char* p = claim(2);
        if (crlf_) *p++ = '\r';
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buffer_.data());
    }
    void character(char c) {
        if (c == '\n') return end_line();
        *claim(1) = c;
        ++used_;
    }

    // Writing straight into the buffer, for the formats: room for up to
    // `size` bytes (at most kMinCapacity), written from the pointer
    // returned, then the end of what was written.
    char* reserve(std::size_t size) {
        assert(size <= kMinCapacity);
        return claim(size);
    }
    void advance_to(const char* end) {
        assert(end >= buffer_.data() + used_ && end <= buffer_.data() + capacity_);
        commit(end);
    }
    char* put_line_end(char* p) const {
        if (crlf_) *p++ = '\r';
        *p++ = '\n';
        return p;
    }
    static constexpr std::size_t kMinCapacity = 8192;

    // Hands everything buffered to the sink; false once anything failed.
    bool flush();
    bool ok() const { return ok_; }

  private:
    std::size_t room() const { return capacity_ - used_; }
    // Room for `size` bytes at the end of the buffer (size <= capacity).
    char* claim(std::size_t size) {
        assert(size <= capacity_);
        if (room() < size) drain();
        return buffer_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
    void copy_in(std::string_view bytes) {
        if (bytes.empty()) return;
        std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void put_long(std::string_view bytes);
    void drain();

    ByteSink& sink_;
    bool crlf_;
    bool ok_ = true;
    ByteBuffer buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

} // namespace textmatte
