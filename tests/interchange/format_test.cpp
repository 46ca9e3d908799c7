#include "interchange/format.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "support/capture.hpp"

namespace textmatte {
namespace {

std::string fixed(double v, int precision) {
    char buf[kFixedBufferSize];
    return std::string(buf, format_fixed(buf, v, precision));
}

std::string reference_fixed(double v, int precision) {
    char buf[kFixedBufferSize];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    return std::string(buf, r.ptr);
}

TEST(FormatFixed, RoundsTheExactBinaryValueHalfToEven) {
    struct Case {
        double v;
        int precision;
        std::string expected;
    } cases[] = {
        {0.125, 2, "0.12"}, // exact tie, rounds to even
        {0.375, 2, "0.38"}, // exact tie, rounds to even
        {2.5, 0, "2"},
        {3.5, 0, "4"},
        {0.1, 20, "0.10000000000000000555"},
        {1.005, 2, "1.00"}, // 1.005 is stored just below the tie
        {-0.0, 6, "-0.000000"},
        {-1e-20, 6, "-0.000000"},
        {5e-324, 12, "0.000000000000"},
        {123456789.123456789, 12, "123456789.123456791043"},
        {1e22, 2, "10000000000000000000000.00"},
        {-7.25, 1, "-7.2"},
        {9.9999999999994, 12, "9.999999999999"},
        {9.9999999999995, 12, "10.000000000000"}, // stored just above the tie
        {std::numeric_limits<double>::infinity(), 6, "inf"},
        {-std::numeric_limits<double>::infinity(), 2, "-inf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixed(c.v, c.precision), c.expected) << c.v;
    EXPECT_EQ(fixed(std::nan(""), 2), "nan");
}

TEST(FormatFixed, AgreesWithTheStandardLibraryOnRandomValues) {
    std::mt19937_64 rng(12345);
    std::uniform_int_distribution<int> precision(0, 18);
    for (int i = 0; i < 200000; ++i) {
        double v;
        switch (i % 4) {
        case 0: {
            std::uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            break;
        }
        case 1: v = std::uniform_real_distribution<double>(-1e6, 1e6)(rng); break;
        case 2:
            v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / 8.0;
            break;
        default:
            v = std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(rng),
                           static_cast<int>(rng() % 140) - 70);
            break;
        }
        if (!std::isfinite(v)) continue;
        int p = precision(rng);
        ASSERT_EQ(fixed(v, p), reference_fixed(v, p)) << v << " %." << p << "f";
    }
}

TEST(Print, WritesEveryConversionOfTheRecordFormats) {
    struct Case {
        const char* fmt;
        std::initializer_list<FormatArg> args;
        const char* expected;
    };
    const Case cases[] = {
        {"lc%d \n", {-5}, "lc-5 \r\n"},
        {"%d", {INT32_MIN}, "-2147483648"},
        {"MAX=%u\n", {50000u}, "MAX=50000\r\n"},
        {"lg%x", {-1}, "lgffffffff"},
        {"lg%x", {20}, "lg14"},
        {"lc10 #%06x\n", {0xff}, "lc10 #0000ff\r\n"},
        {"#%06x", {0x1234567}, "#1234567"},
        {"%.12f %.2f", {1.0, 2.5}, "1.000000000000 2.50"},
        {"W(%.1lf)", {2.25}, "W(2.2)"},
        {"\"%s\n", {"ABC"}, "\"ABC\r\n"},
        {"100%%", {}, "100%"},
        {"%5d|%5d", {42, -42}, "   42|  -42"},
    };
    for (const Case& c : cases) {
        testing::Captured cap;
        print(cap.out, c.fmt, c.args);
        EXPECT_EQ(cap.str(), c.expected) << c.fmt;
    }
}

TEST(Print, MissingOrMismatchedArgumentsWriteNothingForThatConversion) {
    testing::Captured cap;
    print(cap.out, "a%db%fc%s", {1.5});
    EXPECT_EQ(cap.str(), "abc");
}

TEST(Output, ConsoleKeepsPlainNewlinesAndFilesGetCrLf) {
    testing::Captured file(LineEnds::crlf), console(LineEnds::lf);
    file.out.put("a\nb\r\n");
    console.out.put("a\nb\r\n");
    EXPECT_EQ(file.str(), "a\r\nb\r\r\n");
    EXPECT_EQ(console.str(), "a\nb\r\n");
}

TEST(Output, LargeWritesPassThroughASmallBufferWhole) {
    StringSink sink;
    Output out(sink, LineEnds::crlf, 64);
    std::string big(10000, 'x');
    big[5000] = '\n';
    out.put(big);
    out.put_char('\n');
    ASSERT_TRUE(out.flush());
    EXPECT_EQ(sink.bytes.size(), big.size() + 3);
    EXPECT_EQ(sink.bytes.substr(4999, 4), "x\r\nx");
}

TEST(Output, ATinyBufferStillTakesTheLongestNumber) {
    StringSink sink;
    Output out(sink, LineEnds::crlf, 16);
    print(out, "%.40f|", {-1.7976931348623157e308});
    ASSERT_TRUE(out.flush());
    EXPECT_EQ(sink.bytes.size(), 1 + 309 + 1 + 40 + 1u);
}

TEST(Output, AFailedWriteStaysFailed) {
    struct Failing : ByteSink {
        int calls = 0;
        bool write(const char*, std::size_t) override { return ++calls > 1; }
    } sink;
    Output out(sink, LineEnds::crlf, 64);
    out.put(std::string(100, 'a'));
    out.put("b");
    EXPECT_FALSE(out.flush());
    EXPECT_FALSE(out.ok());
}

} // namespace
} // namespace textmatte
