#include "interchange/fields.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>

namespace textmatte {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ReadReal, TakesTheLongestPrefixStrtodWouldTake) {
    struct Case {
        const char* text;
        double value;
        std::size_t used; // bytes consumed
    } cases[] = {
        {"12.5", 12.5, 4},
        {"  -3e2x", -300.0, 6},
        {"+.5", 0.5, 3},
        {"5.", 5.0, 2},
        {"1e", 1.0, 1},
        {"1e+x", 1.0, 1},
        {"0x", 0.0, 1},
        {"0xg", 0.0, 1},
        {"0x1p3", 8.0, 5},
        {"-0X.8", -0.5, 5},
        {"infinit", kInf, 3},
        {"INFINITY", kInf, 8},
        {"-inf", -kInf, 4},
        {"1e400", kInf, 5},
        {"-1e400", -kInf, 6},
        {"1e-400", 0.0, 6},
        {"0x1p99999", kInf, 9},
        {"\t\n 7", 7.0, 4},
        {"0.1000000000000000055511151231257827", 0.1, 36},
        {"9007199254740993", 9007199254740992.0, 16}, // 2^53 + 1: a tie, to even
        {"0.05", 0.05, 4},
        {"007.50", 7.5, 6},
        {"1.5E3", 1500.0, 5},
    };
    for (const Case& c : cases) {
        double v = 99.0;
        std::string s = c.text;
        const char* end = read_real(s.data(), s.data() + s.size(), v);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(end - s.data()), c.used) << c.text;
    }
    double nan_value = 0.0;
    std::string nan_text = "nan(123)";
    EXPECT_EQ(read_real(nan_text.data(), nan_text.data() + nan_text.size(), nan_value),
              nan_text.data() + nan_text.size());
    EXPECT_TRUE(std::isnan(nan_value));
}

// Short decimals, the common form, against the standard library's
// correctly rounded reading: digit counts and point positions around the
// limits of exact arithmetic (2^53, 10^22, 19 digits).
TEST(ReadReal, ShortDecimalsRoundCorrectly) {
    std::mt19937_64 rng(2024);
    for (int i = 0; i < 300000; ++i) {
        const int digits = 1 + static_cast<int>(rng() % 24);
        std::string number;
        for (int d = 0; d < digits; ++d)
            number += static_cast<char>('0' + rng() % 10);
        if (rng() % 5 != 0) {
            const std::size_t point = rng() % (number.size() + 1);
            number = number.substr(0, point) + "." + number.substr(point);
        }
        const std::string s = (rng() % 4 == 0 ? "-" : "") + number;
        const char* begin = s.c_str();
        const char* end = begin + s.size();
        double expected = 0;
        const char* digits_begin = begin + (s[0] == '-');
        std::from_chars(digits_begin, end, expected);
        if (s[0] == '-') expected = -expected;
        double v = 0;
        ASSERT_EQ(read_real(begin, end, v), end) << s;
        ASSERT_EQ(v, expected) << s;
        ASSERT_EQ(std::signbit(v), std::signbit(expected)) << s;
    }
}

TEST(ReadReal, FailsWithoutANumberAndKeepsTheValue) {
    for (const char* text : {"", " ", "-", "+-5", ".", "e5", "x1", "--1", "+ 1"}) {
        double v = 42.0;
        std::string s = text;
        EXPECT_EQ(read_real(s.data(), s.data() + s.size(), v), nullptr) << text;
        EXPECT_EQ(v, 42.0) << text;
    }
}

TEST(ReadIntegers, DecimalAndHexadecimalSaturateBeyond32Bits) {
    struct Case {
        const char* text;
        bool hex;
        int value;
    } cases[] = {
        {"42", false, 42},
        {" -17z", false, -17},
        {"+8", false, 8},
        {"2147483647", false, INT_MAX},
        {"2147483648", false, INT_MAX},
        {"-2147483648", false, INT_MIN},
        {"-99999999999999999999", false, INT_MIN},
        {"a", true, 10},
        {"0x1F", true, 31},
        {"14", true, 20},
        {"-5", true, -5},
        {"ffffffff", true, -1},
        {"80000000", true, INT_MIN},
        {"123456789abc", true, -1},
        {"-123456789abc", true, -1},
        {"0xg", true, 0},
    };
    for (const Case& c : cases) {
        int v = 7;
        std::string s = c.text;
        const char* end = c.hex ? read_hex(s.data(), s.data() + s.size(), v)
                                : read_decimal(s.data(), s.data() + s.size(), v);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    for (const char* text : {"", "-", "x", " +"}) {
        int v = 7;
        std::string s = text;
        EXPECT_EQ(read_decimal(s.data(), s.data() + s.size(), v), nullptr) << text;
        EXPECT_EQ(read_hex(s.data(), s.data() + s.size(), v), nullptr) << text;
        EXPECT_EQ(v, 7);
    }
}

TEST(FieldReader, StopsAtTheFirstFieldThatDoesNotConvertAndKeepsTheRest) {
    double a = 1, b = 2, c = 3, d = 4;
    FieldReader f(" 10 20 x 40", 0);
    EXPECT_FALSE(f.real(a) && f.real(b) && f.real(c) && f.real(d));
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 20);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(d, 4);
}

TEST(FieldReader, StartsAtAFixedByteAndReadsNothingBeyondTheLine) {
    struct Case {
        const char* line;
        std::size_t offset;
        bool converts;
        int value;
    } cases[] = {
        {"lc7\n", 2, true, 7}, {"lc 8", 2, true, 8},  {"lc", 2, false, 5},
        {"l", 2, false, 5},    {"hcwX1", 4, true, 1}, // bytes before the start are not looked at
        {"12", 1, true, 2},
    };
    for (const Case& c : cases) {
        int v = 5;
        EXPECT_EQ(FieldReader(c.line, c.offset).decimal(v), c.converts) << c.line;
        EXPECT_EQ(v, c.value) << c.line;
    }
    char text[8] = "kept";
    FieldReader beyond("l", 2);
    EXPECT_FALSE(beyond.space());
    EXPECT_FALSE(beyond.rest(text));
    EXPECT_STREQ(text, "kept");
}

// The text record's read: four reals, white space, a quote, then the rest.
bool read_text(std::string_view line, double (&v)[4], std::span<char> text) {
    FieldReader f(line, 0);
    return f.real(v[0]) && f.real(v[1]) && f.real(v[2]) && f.real(v[3]) && f.space() &&
           f.literal('"') && f.rest(text);
}

TEST(FieldReader, TextFieldTakesEveryByteAfterTheQuote) {
    struct Case {
        const char* line;
        bool converts;
        const char* text;
    } cases[] = {
        {" 1 2 3 4   \"  two blanks\n", true, "  two blanks\n"},
        {" 1 2 3 4 \"", true, ""},       // nothing after the quote: empty text
        {" 1 2 3 4 X", false, "kept"},   // no quote: text kept
        {" 1 2 \"abc\n", false, "kept"}, // too few reals: text kept
        {" 1 2 3 4\"abc", true, "abc"},  // no line end
    };
    for (const Case& c : cases) {
        double v[4] = {};
        char text[261] = "kept";
        EXPECT_EQ(read_text(c.line, v, text), c.converts) << c.line;
        EXPECT_STREQ(text, c.text) << c.line;
    }
}

TEST(FieldReader, TextFieldNeverWritesPastItsCapacity) {
    // Room for 7 bytes and the terminator; the rest of the buffer is a
    // sentinel that must stay as it is.
    char buffer[16];
    std::memset(buffer, 'G', sizeof buffer);
    double v[4] = {};
    const std::string line = " 1 1 1 1 \"" + std::string(300, 'x');
    EXPECT_TRUE(read_text(line, v, std::span<char>(buffer, 8)));
    EXPECT_EQ(std::string(buffer), "xxxxxxx");
    EXPECT_EQ(std::string(buffer + 8, 8), "GGGGGGGG");
}

} // namespace
} // namespace textmatte
