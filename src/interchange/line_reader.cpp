#include "interchange/line_reader.hpp"

#include <cassert>
#include <cstring>

namespace textmatte {

long StringSource::read(char* data, std::size_t size) {
    std::size_t n = size < bytes_.size() ? size : bytes_.size();
    if (n > 0) std::memcpy(data, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
}

std::string_view LinePiece::up_to_nul(std::string_view bytes) {
    const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
    return nul ? bytes.substr(
                     0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()))
               : bytes;
}

namespace {
// The longest raw stretch one piece can need: a full piece, then CR LF.
constexpr std::size_t kWindow = LinePiece::kMaxPiece + 2;
} // namespace

LineReader::LineReader(ByteSource& source, std::size_t block)
    : source_(source), raw_(block < 2 * kWindow ? 2 * kWindow : block) {}

void LineReader::fill(std::size_t want) {
    assert(want <= raw_.size());
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

// A piece ends after a line end (CR LF or LF, handed out as '\n') or after
// kMaxPiece bytes, whichever comes first, exactly as a 255-byte fgets on a
// text stream cuts it.
bool LineReader::next(LinePiece& line) {
    fill(kWindow);
    if (failed_ || begin_ == end_) return false;
    char* start = raw_.data() + begin_;
    const std::size_t avail = end_ - begin_;
    const std::size_t window = avail < kWindow ? avail : kWindow;
    if (const void* hit = std::memchr(start, '\n', window)) {
        const std::size_t span = static_cast<std::size_t>(static_cast<const char*>(hit) - start);
        const std::size_t data = span - (span > 0 && start[span - 1] == '\r' ? 1 : 0);
        if (data + 1 <= LinePiece::kMaxPiece) {
            // The line end, CR LF or LF, is handed out as one '\n' right
            // after the data: over the CR, in the reader's own buffer.
            start[data] = '\n';
            line.view(start, data + 1);
            begin_ += span + 1;
            return true;
        }
    }
    const std::size_t size = window < LinePiece::kMaxPiece ? window : LinePiece::kMaxPiece;
    line.view(start, size);
    begin_ += size;
    return true;
}

// A line of L raw bytes, its '\n' included, of which the last two are CR LF
// when `crlf`, yields ceil((L - crlf) / kMaxPiece) pieces; so does a last
// line without line end (crlf false). This is next()'s cutting, counted.
unsigned LineReader::count_pieces(unsigned limit) {
    unsigned pieces = 0;
    std::size_t line_length = 0; // raw bytes of the current line so far
    bool after_cr = false;       // the last byte seen was CR
    auto add = [&](std::size_t length, bool crlf) {
        const std::size_t data = length - (crlf ? 1 : 0);
        pieces += static_cast<unsigned>((data + LinePiece::kMaxPiece - 1) / LinePiece::kMaxPiece);
    };
    for (;;) {
        fill(1);
        if (failed_ || begin_ == end_) break;
        const char* p = raw_.data() + begin_;
        const char* end = raw_.data() + end_;
        while (p < end && pieces <= limit) {
            const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!hit) {
                line_length += static_cast<std::size_t>(end - p);
                after_cr = end[-1] == '\r';
                p = end;
                break;
            }
            const char* nl = static_cast<const char*>(hit);
            const bool crlf = nl > p ? nl[-1] == '\r' : after_cr && line_length > 0;
            line_length += static_cast<std::size_t>(nl - p) + 1;
            add(line_length, crlf);
            line_length = 0;
            after_cr = false;
            p = nl + 1;
        }
        begin_ = static_cast<std::size_t>(p - raw_.data());
        if (pieces > limit) return pieces;
    }
    if (line_length > 0) add(line_length, false);
    return pieces;
}

} // namespace textmatte
