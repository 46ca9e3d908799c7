#include "options/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.hpp"

namespace textmatte {
namespace {

struct Outcome {
    RunSettings settings;
    std::string out;
    std::string err;
};

Outcome apply(const std::vector<std::string>& args) {
    Outcome o;
    testing::Captured out(LineEnds::lf), err(LineEnds::lf);
    for (const std::string& a : args)
        write_option_notice(apply_option(a.c_str(), o.settings), out.out, err.out);
    o.out = out.str();
    o.err = err.str();
    return o;
}

const std::string kIllegal = "\n illegal Option.\n";
std::string option_trace(int traced_number) {
    return "# --- command line option ---------------\n# --- wSCLR=(" +
           std::to_string(traced_number) + ")\n";
}

TEST(Options, SetTheRunSettings) {
    struct Case {
        std::vector<std::string> args;
        int debug_level, shade_index, margin, decoration, traced_number;
        int illegal;
    } cases[] = {
        {{}, 0, 5, 3, 0, 0, 0},
        {{"/c5"}, 0, 5, 3, 0, 0, 0},
        {{"/C3"}, 0, 3, 3, 0, 0, 0},
        {{"-c3"}, 0, 3, 3, 0, 0, 0},
        {{"/c3", "/c"}, 0, 3, 3, 0, 0, 0},
        {{"/cx"}, 0, 0, 3, 0, 0, 0},
        {{"/c15"}, 0, 5, 3, 0, 0, 0},
        {{"/c5/d3"}, 0, 5, 3, 0, 0, 0},
        {{"/c 7"}, 0, 7, 3, 0, 0, 0},
        {{"/c-3"}, 0, 3, 3, 0, 0, 0},
        {{"/c  -12abc"}, 0, 2, 3, 0, 0, 0},
        {{"/d+2"}, 0, 5, 2, 0, 0, 0},
        {{"/c99999999999"}, 0, 7, 3, 0, 0, 0},
        {{"/d7"}, 0, 5, 1, 0, 0, 0},
        {{"/d-2"}, 0, 5, -2, 0, 0, 0},
        {{"/d-99999999999"}, 0, 5, -2, 0, 0, 0},
        {{"/f5"}, 0, 5, 3, 1, 0, 0},
        {{"/f-2"}, 0, 5, 3, 2, 0, 0},
        {{"/F"}, 0, 5, 3, 0, 0, 0},
        {{"/a"}, 0, 5, 3, 0, 7, 0},
        {{"/a12"}, 0, 5, 3, 0, 3, 0},
        {{"/a-10"}, 0, 5, 3, 0, -1, 0},
        {{"/t"}, 0, 5, 3, 0, 0, 0},
        {{"/t3", "/t"}, 0, 5, 3, 0, 0, 0},
        {{"/t12"}, 1, 5, 3, 0, 0, 0},
        {{"/t7"}, 0, 5, 3, 0, 0, 0},
        {{"/t0"}, 0, 5, 3, 0, 0, 0},
        {{"/T6"}, 4, 5, 3, 0, 0, 0},
        {{"/t5"}, 4, 5, 3, 0, 0, 0},
        {{"/c1", "/c2", "/d4", "/d0"}, 0, 2, 0, 0, 0, 0},
        {{"/b", "/e1", "/m", "/N", "/s", "/u", "/w9"}, 0, 5, 3, 0, 0, 0},
        {{"/x"}, 0, 5, 3, 0, 0, 1},
        {{"/9"}, 0, 5, 3, 0, 0, 1},
        {{"--c5"}, 0, 5, 3, 0, 0, 1},
        {{"/"}, 0, 5, 3, 0, 0, 1},
        {{"/g", "/h", "/i", "/j", "/k", "/l", "/o", "/p", "/q", "/r", "/v", "/y", "/z", "/\xe9"},
         0,
         5,
         3,
         0,
         0,
         14},
    };
    for (const Case& c : cases) {
        Outcome o = apply(c.args);
        const std::string where = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(o.settings.debug_level, static_cast<DebugLevel>(c.debug_level)) << where;
        EXPECT_EQ(o.settings.shade_index, c.shade_index) << where;
        EXPECT_EQ(o.settings.margin, c.margin) << where;
        EXPECT_EQ(o.settings.decoration, c.decoration) << where;
        EXPECT_EQ(o.settings.traced_number, c.traced_number) << where;
        std::string illegal;
        for (int i = 0; i < c.illegal; ++i)
            illegal += kIllegal;
        EXPECT_EQ(o.err, illegal) << where;
    }
}

// /c#RRGGBB, six hexadecimal digits exactly, is a colour of one's own;
// anything else after /c is a shade as ever. The last /c counts.
TEST(Options, AColourOfOnesOwnOrAShade) {
    struct Case {
        std::vector<std::string> args;
        int own_colour; // -1: none
        int shade_index;
    } cases[] = {
        {{"/c#ffffff"}, 0xffffff, 5},
        {{"-C#FFaa00"}, 0xffaa00, 5},
        {{"/c#ffffff", "/c3"}, -1, 3},
        {{"/c3", "/c#123456"}, 0x123456, 3},
        {{"/c#ffffff", "/c"}, 0xffffff, 5},
        {{"/c#fff"}, -1, 0},
        {{"/c#fffffff"}, -1, 0},
        {{"/c#fffffg"}, -1, 0},
        {{"/c# ffffff"}, -1, 0},
        {{"/c#ffffff", "/c#12"}, -1, 0},
    };
    for (const Case& c : cases) {
        const Outcome o = apply(c.args);
        EXPECT_EQ(o.settings.own_colour.value_or(-1), c.own_colour) << c.args.back();
        EXPECT_EQ(o.settings.shade_index, c.shade_index) << c.args.back();
        EXPECT_EQ(o.err, "") << c.args.back();
    }
}

TEST(Options, TraceFollowsEveryArgumentFromLevelThreeOn) {
    EXPECT_EQ(apply({"/t3", "/c5"}).out, option_trace(0) + option_trace(0));
    EXPECT_EQ(apply({"/c5", "/t3"}).out, option_trace(0));
    EXPECT_EQ(apply({"/t4", "/a12", "/x"}).out,
              option_trace(0) + option_trace(3) + option_trace(3));
    EXPECT_EQ(apply({"/t6", "/t"}).out, option_trace(0));
    EXPECT_EQ(apply({"/t2", "/c1"}).out, "");
    EXPECT_EQ(apply({"/t1", "/c1"}).out, "");
}

// Applying an option only tells what to show; the caller shows it.
TEST(Options, TheNoticeSaysWhatToShow) {
    struct Case {
        std::vector<std::string> args; // the notice of the last one is checked
        bool illegal;
        int traced_number; // -1: no option trace
    } cases[] = {
        {{"/c3"}, false, -1},       {{"/x"}, true, -1},          {{"/t3"}, false, 0},
        {{"/t3", "/t"}, false, -1}, {{"/t6", "/a12"}, false, 3}, {{"/t4", "/a12", "/x"}, true, 3},
        {{"/t2", "/q"}, true, -1},
    };
    for (const Case& c : cases) {
        RunSettings settings;
        OptionNotice notice;
        for (const std::string& a : c.args)
            notice = apply_option(a.c_str(), settings);
        EXPECT_EQ(notice.illegal, c.illegal) << c.args.back();
        EXPECT_EQ(notice.traced_number.value_or(-1), c.traced_number) << c.args.back();
    }
}

} // namespace
} // namespace textmatte
