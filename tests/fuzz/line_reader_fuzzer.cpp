// Fuzzes the line reader against the model it implements: a text-mode
// stream (CR LF and a lone LF end a line, as '\n') read with a 255-byte
// fgets, which hands out pieces of at most 254 bytes, '\n' included. The
// block size, from the first bytes, moves the block boundaries around.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "interchange/line_reader.hpp"

using namespace textmatte;

namespace {

std::vector<std::string> model(std::string_view input) {
    std::string translated;
    for (std::size_t i = 0; i < input.size(); ++i)
        if (!(input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n'))
            translated += input[i];
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : translated) {
        piece += c;
        if (c == '\n' || piece.size() == LinePiece::kMaxPiece) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t block = 1 << 16;
    if (size >= 2) {
        block = 512 + (data[0] | (data[1] << 8)) % 4096;
        data += 2;
        size -= 2;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> expected = model(input);

    StringSource source(input);
    LineReader reader(source, block);
    LinePiece line;
    std::size_t n = 0;
    while (reader.next(line)) {
        check(n < expected.size(), "more pieces than the model");
        check(line.bytes() == expected[n], "a piece differs from the model");
        const std::string_view text = line.text();
        check(text.size() <= line.bytes().size() && line.bytes().substr(0, text.size()) == text &&
                  text.find('\0') == std::string_view::npos &&
                  (text.size() == line.bytes().size() || line.bytes()[text.size()] == '\0'),
              "text() is not the piece up to its first NUL");
        ++n;
    }
    check(!reader.failed(), "a string source failed");
    check(n == expected.size(), "fewer pieces than the model");

    StringSource again(input);
    LineReader counter(again, block);
    check(counter.count_pieces(1u << 30) == expected.size(), "the count differs from the pieces");
    return 0;
}
