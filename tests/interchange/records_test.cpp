#include "interchange/records.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/capture.hpp"

namespace textmatte {
namespace {

TEST(RecordWriters, EachWritesItsExactLine) {
    struct Case {
        std::function<void(Output&)> write;
        const char* expected;
    } cases[] = {
        {[](Output& o) { write_line_record(o, 1, 2, 3, 4.5); },
         " 1.000000000000 2.000000000000 3.000000000000 4.500000000000 \r\n"},
        {[](Output& o) { write_point_record(o, -1, 0.25); },
         "pt -1.000000000000 0.250000000000 \r\n"},
        {[](Output& o) { write_colour_record(o, 5); }, "lc5 \r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 192, 192, 192); }, "lc10 #c0c0c0\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 0, 0, 255); }, "lc10 #0000ff\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 0, 1, 256); }, "lc10 #000200\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 256, 0, 0); }, "lc10 #1000000\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 0, 0, -1); }, "lc10 #ffffffff\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, 0); }, "lc10 #000000\r\n"},
        {[](Output& o) { write_rgb_colour_record(o, -1); }, "lc10 #ffffffff\r\n"},
        {[](Output& o) { write_solid_record(o, 1, 2, 3, 4); },
         "sl 1.000000000000 2.000000000000 3.000000000000 4.000000000000\r\n"},
        {[](Output& o) { write_solid_record(o, 1, 2, 3, 4, 5, 6); },
         "sl 1.000000000000 2.000000000000 3.000000000000 4.000000000000 5.000000000000 "
         "6.000000000000\r\n"},
        {[](Output& o) { write_solid_record(o, 1, 2, 3, 4, 5, 6, 7, 8); },
         "sl 1.000000000000 2.000000000000 3.000000000000 4.000000000000 5.000000000000 "
         "6.000000000000 7.000000000000 8.000000000000\r\n"},
        {[](Output& o) { write_sc_record(o, 1, 2, 3, 4, 5, 6, 7, 8.125); },
         "sc 1.0000000000 2.0000000000 3.0000000000 4.0000000000 5.0000000000 6.0000000000 "
         "7.0000000000 8.12\r\n"},
        {[](Output& o) { write_se_record(o, 1, 2, 3, 4, 5, 6, 7, 8); },
         "se 1.0000000000 2.0000000000 3.0000000000 4.0000000000 5.0000000000 6.0000000000 "
         "7.0000000000 8.00\r\n"},
        {[](Output& o) { write_text_type_record(o, 3); }, "cn3 \r\n"},
        {[](Output& o) { write_text_shaped_record(o, "ch", 1, 2, 3, 0, "abc"); },
         "ch 1.000000000 2.000000000 3.000000000 0.000000000 \"abc\r\n"},
        {[](Output& o) { write_text_record(o, 1, 2, "abc"); },
         "ch 1.000000 2.000000 3 0 \"abc\r\n"},
        {[](Output& o) { write_text_and_real_record(o, 1, 2, 2.5, "abc"); },
         "ch 1.000000 2.000000 3 0 \"abc 2.50\r\n"},
        {[](Output& o) { write_number_text_record(o, 1, 2, 7); },
         "ch 1.000000 2.000000 3 0 \"7\r\n"},
        {[](Output& o) { write_number_pair_text_record(o, 1, 2, 7, 8); },
         "ch 1.000000 2.000000 3 0 \"7,8\r\n"},
        {[](Output& o) { write_circle_record(o, 1, 2, 3); },
         "ci 1.000000000000 2.000000000000 3.000000000000 \r\n"},
        {[](Output& o) { write_circle_record(o, 1, 2, 3, 0, 360, -2, 0); },
         "ci 1.000000000000 2.000000000000 3.000000000000 0.000000000000 360.000000000000 "
         "-2.000000000000 0.000000000000 \r\n"},
    };
    for (const Case& c : cases) {
        testing::Captured cap;
        c.write(cap.out);
        EXPECT_EQ(cap.str(), c.expected);
    }
}

TEST(RecordWriters, TextBytesPassUnchanged) {
    testing::Captured cap;
    write_text_record(cap.out, 0, 0, "\x83\x65\x83\x4c\x83\x58\x83\x67"); // Shift-JIS bytes
    EXPECT_EQ(cap.str(), "ch 0.000000 0.000000 3 0 \"\x83\x65\x83\x4c\x83\x58\x83\x67\r\n");
}

TEST(Distance, IsTheDistanceBetweenTwoPoints) {
    EXPECT_EQ(distance(0, 0, 3, 4), 5.0);
    EXPECT_EQ(distance(1, 1, 1, 1), 0.0);
    EXPECT_EQ(distance(-3, 0, 0, 4), 5.0);
}

} // namespace
} // namespace textmatte
