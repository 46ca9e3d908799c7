#include "interchange/line_reader.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace textmatte {
namespace {

std::vector<std::string> pieces(const std::string& input, std::size_t block = 1 << 16) {
    StringSource source(input);
    LineReader reader(source, block);
    LinePiece line;
    std::vector<std::string> out;
    while (reader.next(line))
        out.emplace_back(line.bytes());
    EXPECT_FALSE(reader.failed());
    return out;
}

// A text-mode stream fed to a 255-byte fgets, byte at a time: CR LF becomes
// '\n', and a piece ends after '\n' or at 254 bytes.
std::vector<std::string> reference(const std::string& input) {
    std::string translated;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') continue;
        translated += input[i];
    }
    std::vector<std::string> out;
    std::string piece;
    for (char c : translated) {
        piece += c;
        if (c == '\n' || piece.size() == 254) {
            out.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) out.push_back(piece);
    return out;
}

TEST(LineReader, LineEndsAndPieces) {
    using V = std::vector<std::string>;
    struct Case {
        std::string input;
        V expected;
    } cases[] = {
        {"", {}},
        {"a\r\nb\n", {"a\n", "b\n"}},
        {"a\rb\r\n", {"a\rb\n"}}, // a lone CR is data
        {"x\r\r\n", {"x\r\n"}},   // only the last CR pairs with LF
        {"end\r", {"end\r"}},     // CR at the very end is data
        {"\x1a\n", {"\x1a\n"}},   // so is 0x1A
        {"no end", {"no end"}},   // last line without line end
        {"\n\n", {"\n", "\n"}},
        {std::string(253, 'a') + "\r\n", {std::string(253, 'a') + "\n"}},
        {std::string(254, 'a') + "\r\n", {std::string(254, 'a'), "\n"}},
        {std::string(600, 'b'),
         {std::string(254, 'b'), std::string(254, 'b'), std::string(92, 'b')}},
        {std::string("a\0b\n", 4), {std::string("a\0b\n", 4)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pieces(c.input), c.expected) << c.input.size();
}

TEST(LineReader, AgreesWithTextModeFgetsAcrossBlockBoundaries) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', ' ', '\r', '\n', '\0', '\x1a', 'z'};
    for (int round = 0; round < 300; ++round) {
        std::string input;
        const int length = static_cast<int>(rng() % 3000);
        for (int i = 0; i < length; ++i) {
            // Long runs without line ends now and then.
            int pick = static_cast<int>(rng() % (round % 3 == 0 ? 40 : 7));
            input += pick < 7 ? alphabet[pick] : 'q';
        }
        const std::size_t block = 512 + rng() % 700;
        const std::vector<std::string> expected = reference(input);
        ASSERT_EQ(pieces(input, block), expected) << round;
        StringSource source(input);
        LineReader counter(source, block);
        ASSERT_EQ(counter.count_pieces(100000), expected.size()) << round;
    }
}

TEST(LineReader, CountingStopsJustAfterTheLimit) {
    const std::string input(1000, '\n');
    for (unsigned limit : {0u, 5u, 999u, 1000u, 5000u}) {
        StringSource source(input);
        LineReader reader(source, 600);
        const unsigned counted = reader.count_pieces(limit);
        EXPECT_EQ(counted, limit < 1000 ? limit + 1 : 1000u) << limit;
    }
}

TEST(LineReader, TextViewEndsAtTheFirstNul) {
    const std::string input("hp\0 1 2\n", 8);
    StringSource source(input);
    LineReader reader(source);
    LinePiece line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line.bytes().size(), 8u);
    EXPECT_EQ(line.text(), "hp");
    EXPECT_EQ(line.at(3), '\0');
    EXPECT_EQ(line.at(100), '\0');
}

TEST(LineReader, AReadErrorIsNotTheEnd) {
    struct Broken : ByteSource {
        int calls = 0;
        long read(char* data, std::size_t) override {
            if (calls++ == 0) {
                data[0] = 'a';
                data[1] = '\n';
                return 2;
            }
            return -1;
        }
    } source;
    LineReader reader(source);
    LinePiece line;
    while (reader.next(line)) {
    }
    EXPECT_TRUE(reader.failed());
}

} // namespace
} // namespace textmatte
