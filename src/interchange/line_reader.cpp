#include "interchange/line_reader.hpp"

#include <cstring>

namespace textmatte {

long StringSource::read(char* data, std::size_t size) {
    std::size_t n = size < bytes_.size() ? size : bytes_.size();
    std::memcpy(data, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
}

namespace {
// The longest raw stretch one piece can need: a full piece, then CR LF.
constexpr std::size_t kWindow = Line::kMaxPiece + 2;
} // namespace

LineReader::LineReader(ByteSource& source, std::size_t block)
    : source_(source), raw_(block < 2 * kWindow ? 2 * kWindow : block) {}

void LineReader::fill(std::size_t want) {
    if (end_ - begin_ >= want || eof_) return;
    std::memmove(raw_.data(), raw_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < want && !eof_) {
        long got = source_.read(raw_.data() + end_, raw_.size() - end_);
        if (got < 0) failed_ = true;
        if (got <= 0) {
            eof_ = true;
            break;
        }
        end_ += static_cast<std::size_t>(got);
    }
}

bool LineReader::next(Line& line) {
    fill(kWindow);
    if (failed_ || begin_ == end_) return false;
    const char* start = raw_.data() + begin_;
    const std::size_t avail = end_ - begin_;
    const std::size_t window = avail < kWindow ? avail : kWindow;
    char* out = line.buffer.data();
    std::size_t size;
    if (const void* hit = std::memchr(start, '\n', window)) {
        const std::size_t span = static_cast<std::size_t>(static_cast<const char*>(hit) - start);
        const std::size_t data = span - (span > 0 && start[span - 1] == '\r' ? 1 : 0);
        if (data + 1 <= Line::kMaxPiece) {
            std::memcpy(out, start, data);
            out[data] = '\n';
            size = data + 1;
            begin_ += span + 1;
        } else {
            std::memcpy(out, start, Line::kMaxPiece);
            size = Line::kMaxPiece;
            begin_ += Line::kMaxPiece;
        }
    } else {
        size = window < Line::kMaxPiece ? window : Line::kMaxPiece;
        std::memcpy(out, start, size);
        begin_ += size;
    }
    std::memset(out + size, 0, line.buffer.size() - size);
    line.bytes = std::string_view(out, size);
    const void* nul = std::memchr(out, '\0', size);
    line.text = std::string_view(
        out, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - out) : size);
    return true;
}

} // namespace textmatte
