#include "boxes/text_box.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/capture.hpp"

namespace textmatte {
namespace {

struct Text {
    double x, y, dx, dy;
    std::string raw = "ABC\n";
};

// The three records written for one text with the given settings and the
// height of the text type in force.
std::string records_for(const Text& t, double height, RunSettings settings = {},
                        std::string* trace = nullptr) {
    TextTypes types;
    types.in_force = 3;
    types.height[3] = height;
    TextRecord text;
    text.x = t.x;
    text.y = t.y;
    text.dx = t.dx;
    text.dy = t.dy;
    std::memcpy(text.raw.data(), t.raw.c_str(), t.raw.size() + 1);
    testing::Captured file, console(LineEnds::lf);
    box_text(settings, text, types, file.out, console.out);
    if (trace) *trace = console.str();
    return file.str();
}

std::string solid_of(const Text& t, double height, int margin) {
    RunSettings s;
    s.margin = margin;
    std::string all = records_for(t, height, s);
    std::size_t begin = all.find("sl ");
    return all.substr(begin, all.find("\r\n", begin) - begin);
}

TEST(TextBox, CornersRunCounterClockwiseAroundTextAndMargin) {
    struct Case {
        Text text;
        double height;
        int margin;
        const char* solid;
    } cases[] = {
        {{10, 20, 30, 0},
         5,
         3,
         "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 43.000000000000 "
         "28.000000000000 7.000000000000 28.000000000000"},
        {{0, 0, 3, 4},
         5,
         3,
         "sl 0.600000000000 -4.200000000000 7.200000000000 4.600000000000 -1.600000000000 "
         "11.200000000000 -8.200000000000 2.400000000000"},
        // Vertical: the residue of cos 90 degrees must not show.
        {{10, 20, 0, 30},
         5,
         3,
         "sl 13.000000000000 17.000000000000 13.000000000000 53.000000000000 2.000000000000 "
         "53.000000000000 2.000000000000 17.000000000000"},
        // Right to left: the top of the text points down.
        {{10, 20, -30, 0},
         5,
         3,
         "sl 13.000000000000 23.000000000000 -23.000000000000 23.000000000000 -23.000000000000 "
         "12.000000000000 13.000000000000 12.000000000000"},
        // Downwards: the top of the text points east.
        {{10, 20, 0, -30},
         5,
         3,
         "sl 7.000000000000 23.000000000000 7.000000000000 -13.000000000000 18.000000000000 "
         "-13.000000000000 18.000000000000 23.000000000000"},
        {{10, 20, 0, 0},
         5,
         3,
         "sl 7.000000000000 17.000000000000 13.000000000000 17.000000000000 13.000000000000 "
         "28.000000000000 7.000000000000 28.000000000000"},
        {{10, 20, 30, 0},
         5,
         0,
         "sl 10.000000000000 20.000000000000 40.000000000000 20.000000000000 40.000000000000 "
         "25.000000000000 10.000000000000 25.000000000000"},
        // Height never given: 2m high, around the baseline.
        {{10, 20, 30, 0},
         0,
         3,
         "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 43.000000000000 "
         "23.000000000000 7.000000000000 23.000000000000"},
        // A negative margin shrinks the box on every side.
        {{10, 20, 30, 0},
         5,
         -2,
         "sl 12.000000000000 22.000000000000 38.000000000000 22.000000000000 38.000000000000 "
         "23.000000000000 12.000000000000 23.000000000000"},
        // 45 degrees, margin 0: (0,0), (10,10), (10-h/sqrt2, 10+h/sqrt2), (-h/sqrt2, h/sqrt2).
        {{0, 0, 10, 10},
         4 * 1.4142135623730951,
         0,
         "sl 0.000000000000 0.000000000000 10.000000000000 10.000000000000 6.000000000000 "
         "14.000000000000 -4.000000000000 4.000000000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(solid_of(c.text, c.height, c.margin), c.solid)
            << c.text.x << "," << c.text.y << " dir " << c.text.dx << "," << c.text.dy;
}

TEST(TextBox, DefaultsGiveThreeRecords) {
    EXPECT_EQ(records_for({10, 20, 30, 0}, 5),
              "lc10 #aaaaaa\r\n"
              "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
              "43.000000000000 28.000000000000 7.000000000000 28.000000000000\r\n"
              "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n");
}

std::string text_record(const std::string& raw, int decoration = 0) {
    RunSettings s;
    s.decoration = decoration;
    std::string all = records_for({1, 2, 3, 0, raw}, 5, s);
    return all.substr(all.find("ch "));
}

TEST(CleanedString, IsCutAtTheLineEndAndAt231Characters) {
    const std::string head = "ch 1.0000000000 2.0000000000 3.0000000000 0.0000000000 \"";
    struct Case {
        std::string raw;
        std::string text;
    } cases[] = {
        {"ABC\r\n", "ABC"},
        {"AB\rC\n", "AB"},
        {"\n", ""},
        {"", ""},
        {"  lead\n", "  lead"},
        {"\x83\x65\x83\x4c\x83\x58\x83\x67\n", "\x83\x65\x83\x4c\x83\x58\x83\x67"},
        {std::string(250, 'x') + "\n", std::string(231, 'x')},
        {std::string(231, 'y'), std::string(231, 'y')},
        // Two-byte Shift-JIS characters are never cut in half.
        {std::string(230, 'a') + "\x83\x65\n", std::string(230, 'a')},
        {std::string(229, 'a') + "\x83\x65\x83\x65\n", std::string(229, 'a') + "\x83\x65"},
        {std::string(229, 'a') + "\xe0\x40z\n", std::string(229, 'a') + "\xe0\x40"},
        {std::string(240, '\xb1') + "\n", std::string(231, '\xb1')}, // half-width kana
        {"AB\x83\r\n", "AB\x83"},                                    // a lone lead byte stays
        {"\x83", "\x83"},
        {std::string(230, 'a') + "\x83", std::string(230, 'a') + "\x83"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_record(c.raw), head + c.text + "\r\n") << c.raw;
}

TEST(Decoration, PrefixesTheWholeCleanedString) {
    const std::string head = "ch 1.0000000000 2.0000000000 3.0000000000 0.0000000000 \"";
    EXPECT_EQ(text_record("ABC\n", 0), head + "ABC\r\n");
    EXPECT_EQ(text_record("ABC\n", 1), head + "^!ABC\r\n");
    EXPECT_EQ(text_record("ABC\n", 2), head + "^/ABC\r\n");
    EXPECT_EQ(text_record("ABC\n", 3), head + "^_ABC\r\n");
    EXPECT_EQ(text_record("\n", 3), head + "^_\r\n");
    EXPECT_EQ(text_record(std::string(240, 'z'), 1), head + "^!" + std::string(231, 'z') + "\r\n");
    EXPECT_EQ(text_record("ABC\n", -2), head + "ABC\r\n"); // unknown: undecorated
    // The colour record and the solid do not depend on the decoration.
    RunSettings plain, decorated;
    decorated.decoration = 2;
    std::string a = records_for({1, 2, 3, 0}, 5, plain),
                b = records_for({1, 2, 3, 0}, 5, decorated);
    EXPECT_EQ(a.substr(0, a.find("ch ")), b.substr(0, b.find("ch ")));
}

TEST(Shade, SelectsTheGreyOfTheTable) {
    struct Case {
        int index;
        const char* record;
    } cases[] = {
        {0, "lc10 #f8f8f8\r\n"}, {3, "lc10 #c0c0c0\r\n"},  {5, "lc10 #aaaaaa\r\n"},
        {9, "lc10 #666666\r\n"}, {-3, "lc10 #aaaaaa\r\n"}, {12, "lc10 #aaaaaa\r\n"},
    };
    for (const Case& c : cases) {
        RunSettings s;
        s.shade_index = c.index;
        EXPECT_EQ(records_for({0, 0, 1, 0}, 1, s).substr(0, 14), c.record) << c.index;
    }
}

// A colour of the user's own takes the shade's place in the colour record,
// and in the trace where the shade's number stood; the box is the same.
TEST(Shade, AColourOfOnesOwnReplacesIt) {
    RunSettings own;
    own.own_colour = 0x0000ff;
    own.debug_level = DebugLevel::text_trace;
    std::string trace;
    const std::string records = records_for({10, 20, 30, 0}, 5, own, &trace);
    const std::string grey = records_for({10, 20, 30, 0}, 5);
    EXPECT_EQ(records.substr(0, 14), "lc10 #0000ff\r\n");
    EXPECT_EQ(records.substr(14), grey.substr(14));
    EXPECT_NE(trace.find("#   Solid(#0000ff)  color-hex(#ff)\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("#        Pen is(0)  CMD-option /c(#0000ff)  /d(3) /f(0)\n"),
              std::string::npos)
        << trace;
}

TEST(TextBox, ATextTypeOutsideTheTableHasNoHeight) {
    TextTypes types;
    types.in_force = 12;
    TextRecord text;
    text.dx = 30;
    text.x = 10;
    text.y = 20;
    testing::Captured file, console(LineEnds::lf);
    box_text(RunSettings{}, text, types, file.out, console.out);
    EXPECT_NE(file.str().find("sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
                              "43.000000000000 23.000000000000"),
              std::string::npos);
}

TEST(Trace, LevelTwoPrintsNineLinesAndTheSameRecords) {
    RunSettings level2, level3;
    level2.debug_level = DebugLevel::text_trace;
    level3.debug_level = DebugLevel::scan_trace;
    std::string trace;
    std::string records = records_for({10, 20, 30, 0}, 5, level2, &trace);
    EXPECT_EQ(records, records_for({10, 20, 30, 0}, 5));
    EXPECT_EQ(trace, "#----- Matte01() ---------- start\n"
                     "#        input(ChSTR) = (ABC)  MOJIS(3)\n"
                     "#        input(ChX,ChY)=(10.0, 20.0) (ChDX,ChDY)=(30.0, 0.0)\n"
                     "#         Free cn0 size: W(0.0) H(0.0) D(0.0) Pen(0)\n"
                     "#   Solid(5)  color-hex(#aaaaaa)\n"
                     "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (0.0, 5.0, 0.0)  Moji(3)\n"
                     "#        Pen is(0)  CMD-option /c(5)  /d(3) /f(0)\n"
                     "#   iBOLD(0)  str1=(ABC)\n"
                     "# ch 10.000000 20.000000 30.000000 0.000000 \"ABC\n");
    records_for({10, 20, 30, 0}, 5, level3, &trace);
    EXPECT_EQ(trace, "");
}

} // namespace
} // namespace textmatte
