#include "interchange/format.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

#include "support/capture.hpp"

namespace textmatte {
namespace {

template <Format F, typename... Args> std::string formatted(const Args&... args) {
    testing::Captured cap;
    write<F>(cap.out, args...);
    return cap.str();
}

TEST(Write, EveryConversionOfTheRecordFormats) {
    EXPECT_EQ(formatted<"lc%d \n">(-5), "lc-5 \r\n");
    EXPECT_EQ(formatted<"%d">(INT_MIN), "-2147483648");
    EXPECT_EQ(formatted<"MAX=%u\n">(50000u), "MAX=50000\r\n");
    EXPECT_EQ(formatted<"lg%x">(-1), "lgffffffff");
    EXPECT_EQ(formatted<"lg%x">(20), "lg14");
    EXPECT_EQ(formatted<"lc10 #%06x\n">(0xff), "lc10 #0000ff\r\n");
    EXPECT_EQ(formatted<"#%06x">(0x1234567), "#1234567");
    EXPECT_EQ(formatted<"%.12f %.2f">(1.0, 2.5), "1.000000000000 2.50");
    EXPECT_EQ(formatted<"W(%.1lf)">(2.25), "W(2.2)");
    EXPECT_EQ(formatted<"%f">(0.5), "0.500000");
    EXPECT_EQ(formatted<"\"%s\n">("ABC"), "\"ABC\r\n");
    EXPECT_EQ(formatted<"(%s)">(std::string_view("a\nb")), "(a\r\nb)");
    EXPECT_EQ(formatted<"100%%">(), "100%");
    EXPECT_EQ(formatted<"%c%c">('x', '\n'), "x\r\n");
    EXPECT_EQ(formatted<"lg%x\nly%x\n">(1, 2u), "lg1\r\nly2\r\n");
    EXPECT_EQ(formatted<"">(), "");
}

TEST(Output, ConsoleKeepsPlainNewlinesAndFilesGetCrLf) {
    testing::Captured file(LineEnds::crlf), console(LineEnds::lf);
    file.out.text("a\nb\r\n");
    console.out.text("a\nb\r\n");
    EXPECT_EQ(file.str(), "a\r\nb\r\r\n");
    EXPECT_EQ(console.str(), "a\nb\r\n");
}

TEST(Output, LargeWritesPassThroughASmallBufferWhole) {
    StringSink sink;
    Output out(sink, LineEnds::crlf, 64);
    std::string big(10000, 'x');
    big[5000] = '\n';
    out.text(big);
    out.end_line();
    out.literal(std::string(3000, 'y'));
    ASSERT_TRUE(out.flush());
    EXPECT_EQ(sink.bytes.size(), big.size() + 3 + 3000);
    EXPECT_EQ(sink.bytes.substr(4999, 4), "x\r\nx");
}

TEST(Output, ATinyBufferStillTakesTheLongestNumber) {
    StringSink sink;
    Output out(sink, LineEnds::crlf, 16);
    write<"%.40f|">(out, -1.7976931348623157e308);
    ASSERT_TRUE(out.flush());
    EXPECT_EQ(sink.bytes.size(), 1 + 309 + 1 + 40 + 1u);
}

TEST(Output, AFailedWriteStaysFailed) {
    struct Failing : ByteSink {
        int calls = 0;
        bool write(const char*, std::size_t) override { return ++calls > 1; }
    } sink;
    Output out(sink, LineEnds::crlf, 64);
    out.literal(std::string(1000, 'a'));
    out.literal("b");
    EXPECT_FALSE(out.flush());
    EXPECT_FALSE(out.ok());
}

} // namespace
} // namespace textmatte
