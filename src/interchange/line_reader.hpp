// Line input, done by the program itself the same on every platform.
//
// Input bytes are read in large blocks. CR LF and a lone LF each end a line
// and arrive as one '\n'; a lone CR, byte 0x1A and every other byte are
// data. A line is handed out in pieces of at most kMaxPiece bytes, newline
// included, exactly as a 255-byte fgets on a text stream would cut it; a
// longer line arrives as several pieces.
#pragma once

#include "interchange/byte_buffer.hpp"
#include <array>
#include <cstddef>
#include <string_view>

namespace textmatte {

// Where bytes come from: a file, or a string in a test.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
    virtual long read(char* data, std::size_t size) = 0;
};

class StringSource final : public ByteSource {
  public:
    explicit StringSource(std::string_view bytes) : bytes_(bytes) {}
    long read(char* data, std::size_t size) override;

  private:
    std::string_view bytes_;
};

// One piece of a line. `bytes()` is everything read, NUL bytes included;
// `text()` is the same piece seen as a C string, ending at its first NUL,
// which is what the record fields are read from. A piece is a view of the
// reader's own buffer, valid until the reader hands out the next one: most
// lines are only classified by their first bytes, so none is copied, and
// the first NUL is looked for only when a record's fields are read.
class LinePiece {
  public:
    static constexpr std::size_t kMaxPiece = 254;

    std::string_view bytes() const { return {data_, size_}; }
    std::string_view text() const {
        if (text_size_ == kNotLookedFor) text_size_ = up_to_nul(bytes()).size();
        return {data_, text_size_};
    }
    // The byte at position i of text(), 0 past its end.
    char at(std::size_t i) const {
        if (text_size_ != kNotLookedFor) return i < text_size_ ? data_[i] : '\0';
        if (i >= size_) return '\0';
        for (std::size_t j = 0; j < i; ++j)
            if (data_[j] == '\0') return '\0';
        return data_[i];
    }

  private:
    friend class LineReader;
    static constexpr std::size_t kNotLookedFor = static_cast<std::size_t>(-1);
    static std::string_view up_to_nul(std::string_view bytes);
    void view(const char* data, std::size_t size) {
        data_ = data;
        size_ = size;
        text_size_ = kNotLookedFor;
    }

    const char* data_ = "";
    std::size_t size_ = 0;
    mutable std::size_t text_size_ = 0;
};

class LineReader {
  public:
    explicit LineReader(ByteSource& source, std::size_t block = kFileBlock);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Fills `line` with the next piece; false at the end of the input or on a
    // read error (failed() tells which).
    bool next(LinePiece& line);
    // Counts the pieces that next() would hand out, without copying them,
    // and stops once the count is above `limit`: a long line adds all its
    // pieces at once, so the count may then be above `limit` + 1. The
    // reader is then just past the line that took the count there, and
    // otherwise at the end of the input.
    unsigned count_pieces(unsigned limit);
    bool failed() const { return failed_; }

  private:
    // Makes at least `want` bytes available, unless the input ends first.
    void fill(std::size_t want);

    ByteSource& source_;
    ByteBuffer raw_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

} // namespace textmatte
