#include "interchange/fields.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
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

TEST(Scan, StopsAtTheFirstFieldThatDoesNotConvertAndKeepsTheRest) {
    double a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(scan(" 10 20 x 40", 0, "%lf %lf %lf %lf", {&a, &b, &c, &d}), 2);
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 20);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(d, 4);
}

TEST(Scan, StartsAtAFixedByteAndReadsNothingBeyondTheLine) {
    int v = 5;
    EXPECT_EQ(scan("lc7\n", 2, "%d", {&v}), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(scan("lc 8", 2, "%d", {&v}), 1);
    EXPECT_EQ(v, 8);
    EXPECT_EQ(scan("lc", 2, "%d", {&v}), 0);
    EXPECT_EQ(scan("l", 2, "%d", {&v}), 0);
    EXPECT_EQ(v, 8);
    // Bytes between the head and the start are not looked at.
    EXPECT_EQ(scan("hcwX1", 4, "%d", {&v}), 1);
    EXPECT_EQ(v, 1);
}

TEST(Scan, TextFieldTakesEveryByteAfterTheQuote) {
    double x = 0, y = 0, dx = 0, dy = 0;
    char text[261] = "previous";
    TextField field{text, 260};
    struct Case {
        const char* line;
        int converted;
        const char* text;
    } cases[] = {
        {" 1 2 3 4   \"  two blanks\n", 5, "  two blanks\n"},
        {" 1 2 3 4 \"", 5, ""},      // nothing after the quote: empty text
        {" 1 2 3 4 X", 4, ""},       // no quote: text kept
        {" 1 2 \"abc\n", 2, ""},     // too few reals: text kept
        {" 1 2 3 4\"abc", 5, "abc"}, // no line end
    };
    for (const Case& c : cases) {
        std::strcpy(text, "kept");
        EXPECT_EQ(scan(c.line, 0, "%lf %lf %lf %lf \"%260c", {&x, &y, &dx, &dy, field}),
                  c.converted)
            << c.line;
        EXPECT_STREQ(text, c.converted == 5 ? c.text : "kept") << c.line;
    }
}

TEST(Scan, TextFieldNeverWritesPastItsTarget) {
    char text[8] = {};
    char guard = 'G';
    double v = 0;
    std::string line = " 1 1 1 1 \"" + std::string(300, 'x');
    scan(line, 0, "%lf %lf %lf %lf \"%260c", {&v, &v, &v, &v, TextField{text, 7}});
    EXPECT_EQ(std::string(text), "xxxxxxx");
    EXPECT_EQ(guard, 'G');
}

} // namespace
} // namespace textmatte
