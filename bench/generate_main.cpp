// textmatte-drawing KIND [LINES] > drawing.txt
// Writes a benchmark drawing: KIND is texts, mix or long_texts; LINES
// defaults to 50000, the most a drawing may have.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drawings.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte::bench;
    if (argc < 2) {
        std::fprintf(stderr, "usage: textmatte-drawing texts|mix|long_texts [LINES]\n");
        return 2;
    }
    for (Kind k : {Kind::texts, Kind::mix, Kind::long_texts}) {
        if (std::strcmp(argv[1], name(k)) != 0) continue;
        const std::string d = make_drawing(k, argc > 2 ? std::atoi(argv[2]) : 50000);
        return std::fwrite(d.data(), 1, d.size(), stdout) == d.size() ? 0 : 1;
    }
    std::fprintf(stderr, "unknown kind: %s\n", argv[1]);
    return 2;
}
