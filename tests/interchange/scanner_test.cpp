#include "interchange/scanner.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pipeline.hpp"

namespace textmatte {
namespace {

using testing::at_level;
using testing::convert_all;
using testing::scan_only;

// The lines of `text` that start with `prefix`, in order.
std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
        at = end + 1;
    }
    return out;
}

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

// The three records of a text at (0, 0) along (1, 0), of height 0.
std::string boxed(const std::string& string) {
    return "lc10 #aaaaaa\r\n"
           "sl -3.000000000000 -3.000000000000 4.000000000000 -3.000000000000 "
           "4.000000000000 3.000000000000 -3.000000000000 3.000000000000\r\n"
           "ch 0.0000000000 0.0000000000 1.0000000000 0.0000000000 \"" +
           string + "\r\n";
}

TEST(Scanner, OnlyHorizontalTextsAreBoxed) {
    EXPECT_EQ(scan_only("hch 5 5 5 5 5 5 5 5 5 5\r\nch 10 20 30 0 \"ABC\r\n").output,
              "lc10 #aaaaaa\r\n"
              "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
              "43.000000000000 28.000000000000 7.000000000000 28.000000000000\r\n"
              "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n");
    // Vertical texts, dimension values, sun-shadow and 2.5D records, and any
    // other "c" record are elements the program leaves as they are.
    const std::string others = "cv 0 0 0 1 \"V\r\ncs 0 0 1 0 \"10\r\ncr 0 0 1 0 \"R5\r\n"
                               "co 1\r\ncp 1\r\nct 1\r\nck 1 2\r\ncz 1\r\nc2 1\r\nc\r\nc";
    EXPECT_EQ(scan_only(others).output, "");
    EXPECT_EQ(scan_only("hq\r\n" + others).output, "hd\r\n" + others);
}

// The host deletes the selection once "hq" is answered, so everything the
// program does not change must come back, as read and in its place.
TEST(Scanner, EveryElementComesBackOnceTheHostReplacesTheSelection) {
    const std::string elements = " 0 0 10 10\r\n-5 0 5 0\r\nci 0 0 5\r\npt 1 2\r\n"
                                 "sl 0 0 1 0 1 1\r\nsc 0 0 1\r\nse 1\r\nso 1\r\nsg 1\r\n"
                                 "pl\r\n 1 1\r\n#\r\nmsg 1\r\n 0 0 1 1\r\n#\r\nBL 1 2\r\n"
                                 "z1 1\r\nz5\r\nbx\r\npx\r\nfoo\r\n\r\n\tx\r\n9\r\n\x80\x81\r\n";
    const std::string headers = "hk 0\r\nhs 1 1\r\nhcw 1\r\nhn 0 0\r\nhp1 5 6\r\nhzs\r\n"
                                "file=C:\\drawings\\a.jww\r\n";
    EXPECT_EQ(scan_only("hq\r\n" + headers + elements + headers).output, "hd\r\n" + elements);
    // Before an "hq" nothing is deleted: returning elements would draw them
    // twice.
    EXPECT_EQ(scan_only(elements + "hq\r\n").output, "#\r\n#\r\nhd\r\n");
}

// After a box, whose colour record changes the colour in force, the next
// element comes back in the colour the input last set.
TEST(Scanner, AnElementAfterABoxKeepsItsColour) {
    struct Case {
        std::string input;
        std::string output;
    } cases[] = {
        {"hq\r\nlc3\r\nch 0 0 1 0 \"a\r\n 0 0 1 1\r\nci 0 0 1\r\n",
         "hd\r\nlc3\r\n" + boxed("a") + "lc3\r\n 0 0 1 1\r\nci 0 0 1\r\n"},
        // The input's own colour record comes first: nothing to restore.
        {"hq\r\nlc3\r\nch 0 0 1 0 \"a\r\nlc5\r\n 0 0 1 1\r\n",
         "hd\r\nlc3\r\n" + boxed("a") + "lc5\r\n 0 0 1 1\r\n"},
        // Written again as read, an RGB colour record too; texts and
        // attribute records need no colour of their own.
        {"hq\r\nlc10 #FF0000 \r\nch 0 0 1 0 \"a\r\nlt2\r\n#\r\nch 0 0 1 0 \"b\r\npt 1 1\r\n",
         "hd\r\nlc10 #FF0000 \r\n" + boxed("a") + "lt2\r\n#\r\n" + boxed("b") +
             "lc10 #FF0000 \r\npt 1 1\r\n"},
        // No colour set by the input: nothing to write again.
        {"hq\r\nch 0 0 1 0 \"a\r\n 0 0 1 1\r\n", "hd\r\n" + boxed("a") + " 0 0 1 1\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scan_only(c.input).output, c.output) << c.input;
}

// The text type in force and its table entry, as the text trace shows them.
TEST(Scanner, TextTypeTableAndTextTypeReachTheText) {
    const std::string trace = scan_only("hcw 1 2 3 4 5 6 7 8 9 10\r\n"
                                        "hch 11 12\r\n"
                                        "hcd 0.5 0.25\r\n"
                                        "hcc 1 2 3 4 5 6 7 8 9 10 11\r\n"
                                        "cn 2\r\nch 0 0 1 0 \"a\r\n"
                                        "cn3\r\nch 0 0 1 0 \"b\r\n"
                                        "cn 10\r\nch 0 0 1 0 \"c\r\n",
                                        at_level(DebugLevel::text_trace))
                                  .console;
    EXPECT_EQ(lines_starting(trace, "#        Moji-Size"),
              (std::vector<std::string>{
                  // Fewer than ten values leave the later entries as they were.
                  "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (2.0, 12.0, 0.2)  Moji(2)",
                  "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (3.0, 0.0, 0.0)  Moji(3)",
                  "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (10.0, 0.0, 0.0)  Moji(10)"}));
    EXPECT_EQ(lines_starting(trace, "#        Pen is(10)").size(), 1u);
    // Entry 0 comes only from "cn0" records.
    EXPECT_EQ(lines_starting(trace, "#         Free cn0 size: W(0.0) H(0.0) D(0.0) Pen(0)").size(),
              3u);
}

TEST(Scanner, TextTypeRecordVariants) {
    struct Case {
        const char* input;
        const char* type_shown; // "MOJIS(n)" of the text trace
        const char* free_size;  // entry 0, as the text trace shows it
    } cases[] = {
        {"cn12\r\n", "MOJIS(12)", "W(0.0) H(0.0) D(0.0) Pen(0)"},
        {"cn-1\r\n", "MOJIS(-1)", "W(0.0) H(0.0) D(0.0) Pen(0)"},
        {"cnx\r\n", "MOJIS(1)", "W(0.0) H(0.0) D(0.0) Pen(0)"},
        {"cn\"3\r\n", "MOJIS(1)", "W(0.0) H(0.0) D(0.0) Pen(0)"},
        {"cn05\r\n", "MOJIS(0)", "W(5.0) H(0.0) D(0.0) Pen(0)"},
        {"cn0 2.5 3 0 1\r\n", "MOJIS(0)", "W(2.5) H(3.0) D(0.0) Pen(1)"},
    };
    for (const Case& c : cases) {
        const std::string trace =
            scan_only(std::string(c.input) + "ch 0 0 1 0 \"t\r\n", at_level(DebugLevel::text_trace))
                .console;
        EXPECT_NE(trace.find(std::string("(t)  ") + c.type_shown), std::string::npos) << c.input;
        EXPECT_NE(trace.find(c.free_size), std::string::npos) << c.input;
    }
}

TEST(Scanner, TheClosingLinesShowTheLastMarkedRecord) {
    struct Case {
        const char* input;
        int marked;
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
    for (const Case& c : cases) {
        const std::string output =
            convert_all(c.input, at_level(DebugLevel::closing_comments)).output;
        EXPECT_NE(output.find("stepcnt= " + std::to_string(c.marked) + " KYleng"),
                  std::string::npos)
            << c.input;
    }
}

TEST(Scanner, HeaderPointsAreStoredAndTracedOnlyForIndexesZeroToThree) {
    const std::string trace = scan_only("hp1+ 5.0 6.0\r\nhp1/\r\nhp3 7 8\r\nhp0- 1\r\n"
                                        "hp5 9 9\r\nhp5/ 9 9\r\nhp12 4 4\r\nhp2ln 3 3\r\n",
                                        at_level(DebugLevel::scan_trace))
                                  .console;
    // The "+" kind stores without a trace; "/" without coordinates shows
    // what the entry holds; a missing y keeps its value.
    EXPECT_EQ(lines_starting(trace, "##  hp"),
              (std::vector<std::string>{"##  hp1/  5.00 6.00 ", "##  hp3   7.00 8.00 ",
                                        "##  hp0-  1.00 0.00 "}));
}

TEST(Scanner, LevelThreeTracesEveryLine) {
    const std::string trace =
        scan_only("hp1+ 5.0 6.0\r\nlc1", at_level(DebugLevel::scan_trace)).console;
    const char* head = "## ---- JW_PATTERN()  jwc_temp.txt processing --------\n";
    EXPECT_EQ(trace, std::string(head) +
                         "##  jd_x=0/0 : jd_x/jd_xmax  jd_limit=50000\n"
                         "##  buf=(hp1+ 5.0 6.0\n)\n" +
                         head +
                         "##  jd_x=1/0 : jd_x/jd_xmax  jd_limit=50000\n"
                         "##  buf=(lc1)\n");
    EXPECT_EQ(scan_only("", at_level(DebugLevel::scan_trace)).console, "");
    for (DebugLevel level : {DebugLevel::off, DebugLevel::closing_comments, DebugLevel::text_trace,
                             DebugLevel::options_only})
        EXPECT_EQ(scan_only("hp1 1 2\r\n", at_level(level)).console, "");
}

TEST(Scanner, StopsAtTheLineLimit) {
    RunState run;
    StringSource source("lc1\nlc2\nlc3\n");
    LineReader reader(source);
    testing::Captured file, console(LineEnds::lf);
    TextBoxes boxes(run.settings, file.out, console.out);
    scan_records(run, ScanStreams{reader, file.out, console.out}, boxes, 3, 2);
    EXPECT_EQ(file.str(), "lc1\r\nlc2\r\n");
}

// A line longer than a piece is one record: its later pieces go where its
// first piece went, and are never read as records of their own.
TEST(Scanner, ALongLineGoesAsAWhole) {
    const std::string long_comment = "# " + std::string(300, 'c') + "lc9 not a colour\r\n";
    const std::string long_element = " 0 0 1 1" + std::string(400, ' ') + "lc9\r\n";
    const std::string long_colour = "lc4" + std::string(260, ' ') + "\r\n";
    // A text ends where its first piece ends; the rest of its line goes.
    const std::string text = "ch 0 0 1 0 \"" + std::string(242, 'A');
    ASSERT_EQ(text.size(), 254u);
    struct Case {
        std::string input;
        std::string output;
    } cases[] = {
        {long_comment, long_comment},
        {long_element, ""},
        {"hq\r\n" + long_element, "hd\r\n" + long_element},
        {"hq\r\nhk" + std::string(300, 'h') + "lc9\r\n", "hd\r\n"},
        {text + "lc9\r\n", boxed(std::string(231, 'A'))},
        // A piece of exactly 254 bytes leaves its line end to a piece of
        // its own, which goes with it.
        {"#" + std::string(253, 'x') + "\r\nlc2\r\n", "#" + std::string(253, 'x') + "\r\nlc2\r\n"},
        // A long colour record is set again whole after a box.
        {"hq\r\n" + long_colour + "ch 0 0 1 0 \"a\r\npt 0 0\r\n",
         "hd\r\n" + long_colour + boxed("a") + long_colour + "pt 0 0\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scan_only(c.input).output, c.output) << c.input;
    // The colour after the text was not read: the trailer shows none.
    EXPECT_NE(convert_all(text + "lc9\r\n").output.find("lt20\r\nlc20\r\n"), std::string::npos);
}

TEST(Scanner, ATextRecordWithMissingFieldsKeepsThePreviousValues) {
    const std::string output =
        scan_only("ch 1 2 3 4 \"first text\r\nch 9 8\r\nch 5 6 7 8 no quote\r\n").output;
    EXPECT_EQ(lines_starting(output, "ch "),
              (std::vector<std::string>{
                  "ch 1.0000000000 2.0000000000 3.0000000000 4.0000000000 \"first text\r",
                  "ch 9.0000000000 8.0000000000 3.0000000000 4.0000000000 \"first text\r",
                  "ch 5.0000000000 6.0000000000 7.0000000000 8.0000000000 \"first text\r"}));
}

TEST(Scanner, AShorterLastTextKeepsNoBytesOfAnEarlierOne) {
    const std::string output =
        scan_only("ch 0 0 1 0 \"a long first text\r\nch 0 0 1 0 \"ab").output;
    EXPECT_NE(output.find("\"ab\r\n"), std::string::npos);
    EXPECT_EQ(output.find("\"abong"), std::string::npos);
}

} // namespace
} // namespace textmatte
