#include <cstdio>

#include "files/files.hpp"

namespace textmatte {

namespace {

// A console stream; a failed write (a closed pipe, say) only costs what
// was to be shown.
class ConsoleStream final : public ByteSink {
  public:
    explicit ConsoleStream(std::FILE* f) : stream_(f) {}
    bool write(const char* data, std::size_t size) override {
        return std::fwrite(data, 1, size, stream_) == size && std::fflush(stream_) == 0;
    }

  private:
    std::FILE* stream_;
};

} // namespace

ByteSink& standard_output() {
    static ConsoleStream out(stdout);
    return out;
}

ByteSink& standard_error() {
    static ConsoleStream err(stderr);
    return err;
}

} // namespace textmatte
