#include "interchange/scanner.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/pipeline.hpp"

namespace textmatte {
namespace {

using testing::scan_only;

TEST(Scanner, CopiesConsumesOrAnswersEachHead) {
    struct Case {
        std::string input;
        std::string output;
    } cases[] = {
        {"# comment\r\n", "# comment\r\n"},
        {"#\n", "#\r\n"},
        {"cc1\r\n", "cc1\r\n"},
        {"cn3\r\ncn0 1 2 3 4\r\ncn\"x\r\n", "cn3\r\ncn0 1 2 3 4\r\ncn\"x\r\n"},
        {"ci 0 0 5\r\n", ""},
        {"bz\r\n", "bz\r\n"},
        {"bx\r\nb\r\n", ""},
        {" 0 0 10 10\r\n", ""},
        {"lg1\r\nly2\r\nlt3\r\nlc4\r\n", "lg1\r\nly2\r\nlt3\r\nlc4\r\n"},
        {"l\r\nlx anything\r\n", "l\r\nlx anything\r\n"},
        {"hq\r\nhq\r\n", "hd\r\nhd\r\n"},
        {"hp1 5 6\r\nhs 1 2\r\nhcw 1\r\nhch 1\r\nhcd 1\r\nhcc 1\r\nhcx\r\nhz\r\n", ""},
        {"pn3\r\n", "pn3\r\n"},
        {"pt 1 2\r\npl\r\npx\r\nz1\r\n", ""},
        {"\r\n\tx\r\n9\r\nLC1\r\n\x80\x81\r\n", ""},
        {"lc5", "lc5"}, // a last line without line end is copied as it is
        {std::string("# a\0b\r\n", 7), std::string("# a\0b\r\n", 7)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scan_only(c.input).output, c.output) << c.input;
}

TEST(Scanner, TextRecordsOfAnySecondCharacterAreBoxedUnderTheHeadCh) {
    auto r = scan_only("hch 5 5 5 5 5 5 5 5 5 5\r\ncx 10 20 30 0 \"ABC\r\n");
    EXPECT_EQ(r.output, "lc10 #aaaaaa\r\n"
                        "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
                        "43.000000000000 28.000000000000 7.000000000000 28.000000000000\r\n"
                        "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n");
    EXPECT_EQ(r.state.text.MOJI_head[0], 'c');
    EXPECT_EQ(r.state.text.MOJI_head[1], 'x');
}

TEST(Scanner, TextTypeTableAndTextType) {
    auto r = scan_only("hcw 1 2 3 4 5 6 7 8 9 10\r\n"
                       "hch 11 12\r\n"
                       "hcd 0.5\r\n"
                       "hcc 1 2 3 4 5 6 7 8 9 10 11\r\n"
                       "cn 3\r\n");
    EXPECT_EQ(r.state.types.MOJI_W[10], 10.0);
    EXPECT_EQ(r.state.types.MOJI_H[2], 12.0);
    EXPECT_EQ(r.state.types.MOJI_H[3], 0.0); // fewer values leave the rest
    EXPECT_EQ(r.state.types.MOJI_D[1], 0.5);
    EXPECT_EQ(r.state.types.MOJI_C[10], 10);
    EXPECT_EQ(r.state.types.MOJI_W[0], 0.0); // entry 0 only from "cn0"
    EXPECT_EQ(r.state.types.MOJIS, 3);
}

TEST(Scanner, TextTypeRecordVariants) {
    struct Case {
        const char* input;
        int mojis;
        double free_width;
    } cases[] = {
        {"cn12\r\n", 12, 0.0}, {"cn-1\r\n", -1, 0.0}, {"cnx\r\n", 1, 0.0},
        {"cn\"3\r\n", 1, 0.0}, {"cn05\r\n", 0, 5.0},  {"cn0 2.5 3 0 1\r\n", 0, 2.5},
    };
    for (const Case& c : cases) {
        auto r = scan_only(c.input);
        EXPECT_EQ(r.state.types.MOJIS, c.mojis) << c.input;
        EXPECT_EQ(r.state.types.MOJI_W[0], c.free_width) << c.input;
    }
}

TEST(Scanner, RecordKindMarkerKeepsTheLastKind) {
    struct Case {
        const char* input;
        int stepcnt;
    } cases[] = {
        {"", 0},
        {" 1 1 1 1\r\n", 0}, // equal end points
        {" 1 1 1 2\r\n", 3},
        {" 1 2 3 4\r\n 1 2 3\r\n", 3}, // fourth value kept: still differs
        {"hq\r\n", 1},
        {"hp1ln 1 2\r\n", 2},
        {"hp1ch 1 2\r\n", 2},
        {"hp1lx 1 2\r\n", 0},
        {" 0 0 5 5\r\nhq\r\n", 1},
        {"hq\r\n 0 0 5 5\r\nhp2ch\r\n", 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scan_only(c.input).state.scan.stepcnt, c.stepcnt) << c.input;
}

TEST(Scanner, HeaderPointsAreStoredOnlyForIndexesZeroToThree) {
    auto r = scan_only("hp1+ 5.0 6.0\r\nhp3 7 8\r\nhp0- 1\r\nhp5 9 9\r\nhp12 4 4\r\n");
    EXPECT_EQ(r.state.scan.PX[1], 5.0);
    EXPECT_EQ(r.state.scan.PY[1], 6.0);
    EXPECT_EQ(r.state.scan.PX[3], 7.0);
    EXPECT_EQ(r.state.scan.PY[3], 8.0);
    EXPECT_EQ(r.state.scan.PX[0], 1.0);
    EXPECT_EQ(r.state.scan.PY[0], 0.0);
    EXPECT_EQ(r.state.scan.iPOINT, 5); // the two-digit index matched no kind
}

TEST(Scanner, LevelThreeTracesEveryLineAndStoredPoints) {
    RunSettings level3;
    level3.isTest = 3;
    auto r = scan_only("hp1+ 5.0 6.0\r\nhp1/\r\nhp7-\r\nlc1", level3);
    const char* head = "## ---- JW_PATTERN()  jwc_temp.txt processing --------\n";
    EXPECT_EQ(r.console, std::string(head) +
                             "##  jd_x=0/0 : jd_x/jd_xmax  jd_limit=50000\n"
                             "##  buf=(hp1+ 5.0 6.0\n)\n" +
                             head +
                             "##  jd_x=1/0 : jd_x/jd_xmax  jd_limit=50000\n"
                             "##  buf=(hp1/\n)\n"
                             "##  hp1/  5.00 6.00 \n" +
                             head +
                             "##  jd_x=2/0 : jd_x/jd_xmax  jd_limit=50000\n"
                             "##  buf=(hp7-\n)\n" +
                             head +
                             "##  jd_x=3/0 : jd_x/jd_xmax  jd_limit=50000\n"
                             "##  buf=(lc1)\n");
    EXPECT_EQ(scan_only("", level3).console, "");
    EXPECT_EQ(scan_only("hp1 1 2\r\n").console, ""); // level 0: silent
}

TEST(Scanner, StopsAtTheLineLimit) {
    RunState run;
    StringSource source("lc1\nlc2\nlc3\n");
    LineReader reader(source);
    testing::Captured file, console(LineEnds::lf);
    JW_PATTERN(run, reader, file.out, console.out, 3, 2);
    EXPECT_EQ(file.str(), "lc1\r\nlc2\r\n");
    EXPECT_EQ(run.scan.jd_x, 2u);
}

TEST(Scanner, LongLinesArriveInPiecesDispatchedByTheirOwnHeads) {
    // The text ends where the first piece ends; the rest begins with "lc".
    std::string text = "ch 0 0 1 0 \"" + std::string(242, 'A');
    ASSERT_EQ(text.size(), 254u);
    auto r = scan_only(text + "lc9\r\n");
    EXPECT_EQ(r.state.text.ChSTR0.data(), std::string(242, 'A'));
    EXPECT_NE(r.output.find("\"" + std::string(231, 'A') + "\r\nlc9\r\n"), std::string::npos);
    EXPECT_EQ(r.state.attrs.COLOR, 9);
}

TEST(Scanner, ATextRecordWithMissingFieldsKeepsThePreviousValues) {
    auto r = scan_only("ch 1 2 3 4 \"first text\r\nch 9 8\r\nch 5 6 7 8 no quote\r\n");
    EXPECT_EQ(r.state.text.ChX, 5.0);
    EXPECT_EQ(r.state.text.ChDY, 8.0);
    EXPECT_STREQ(r.state.text.ChSTR.data(), "first text");
    EXPECT_NE(
        r.output.find("ch 9.0000000000 8.0000000000 3.0000000000 4.0000000000 \"first text\r\n"),
        std::string::npos);
}

TEST(Scanner, AShorterLastTextKeepsNoBytesOfAnEarlierOne) {
    auto r = scan_only("ch 0 0 1 0 \"a long first text\r\nch 0 0 1 0 \"ab");
    EXPECT_STREQ(r.state.text.ChSTR0.data(), "ab");
}

} // namespace
} // namespace textmatte
