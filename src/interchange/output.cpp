#include "interchange/output.hpp"

#include <cstring>

namespace textmatte {

Output::Output(ByteSink& sink, LineEnds ends, std::size_t capacity)
    : sink_(sink), crlf_(ends == LineEnds::crlf), buffer_(capacity < 64 ? 64 : capacity) {}

void Output::drain() {
    if (used_ == 0) return;
    if (ok_ && !sink_.write(buffer_.data(), used_)) ok_ = false;
    used_ = 0;
}

void Output::reserve(std::size_t size) {
    if (buffer_.size() - used_ < size) drain();
    if (buffer_.size() < size) buffer_.resize(size); // only for a tiny buffer
}

void Output::put_plain(const char* data, std::size_t size) {
    while (size > 0) {
        reserve(1);
        std::size_t room = buffer_.size() - used_;
        std::size_t n = size < room ? size : room;
        std::memcpy(buffer_.data() + used_, data, n);
        used_ += n;
        data += n;
        size -= n;
    }
}

void Output::put_char(char c) {
    if (c == '\n') {
        if (crlf_) {
            reserve(2);
            buffer_[used_++] = '\r';
        } else {
            reserve(1);
        }
        buffer_[used_++] = '\n';
        return;
    }
    reserve(1);
    buffer_[used_++] = c;
}

void Output::put(const char* data, std::size_t size) {
    const char* end = data + size;
    while (data < end) {
        const void* hit = std::memchr(data, '\n', static_cast<std::size_t>(end - data));
        const char* stop = hit ? static_cast<const char*>(hit) : end;
        put_plain(data, static_cast<std::size_t>(stop - data));
        if (!hit) break;
        put_char('\n');
        data = stop + 1;
    }
}

bool Output::flush() {
    drain();
    return ok_;
}

} // namespace textmatte
