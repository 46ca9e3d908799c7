#include "interchange/output.hpp"

#include <cstring>

namespace textmatte {

Output::Output(ByteSink& sink, LineEnds ends, std::size_t capacity)
    : sink_(sink), crlf_(ends == LineEnds::crlf),
      buffer_(capacity < kMinCapacity ? kMinCapacity : capacity), capacity_(buffer_.size()) {}

void Output::drain() {
    if (used_ == 0) return;
    if (ok_ && !sink_.write(buffer_.data(), used_)) ok_ = false;
    used_ = 0;
}

void Output::put_long(std::string_view bytes) {
    while (!bytes.empty()) {
        if (room() == 0) drain();
        const std::size_t n = bytes.size() < room() ? bytes.size() : room();
        copy_in(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
}

void Output::text(std::string_view bytes) {
    while (!bytes.empty()) {
        const void* hit = std::memchr(bytes.data(), '\n', bytes.size());
        if (!hit) {
            literal(bytes);
            return;
        }
        const auto stop = static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data());
        literal(bytes.substr(0, stop));
        end_line();
        bytes.remove_prefix(stop + 1);
    }
}

bool Output::flush() {
    drain();
    return ok_;
}

} // namespace textmatte
