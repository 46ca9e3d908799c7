// End-to-end: the built program in a fresh directory, as the host runs it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/program.hpp"

namespace textmatte::testing {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kHost = "jwc_temp.txt";
const std::string kTrailer = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";
const std::string kOverLimit =
    "he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=50000\r\n";

ProgramResult run_on(const TempDir& dir, const std::vector<std::string>& args = {},
                     const Launch& launch = {}) {
    return run_program(TEXTMATTE_EXE, dir.path(), args, launch);
}

std::string repeat(const std::string& line, int times) {
    std::string s;
    s.reserve(line.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i)
        s += line;
    return s;
}

TEST(EndToEnd, ExampleDrawing) {
    TempDir dir;
    dir.write(kHost, read_file(TEXTMATTE_EXAMPLES "/drawing.txt"));
    ProgramResult r = run_on(dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.files(),
              folded(Files{{kHost, read_file(TEXTMATTE_EXAMPLES "/drawing.expected.txt")}}));
}

TEST(EndToEnd, TypicalRunWithShadeAndMargin) {
    TempDir dir;
    dir.write(kHost, "hch 1 2 5 4 5 6 7 8 9 10\r\nlc2\r\ncn3\r\nch 10 20 30 0 \"ABC\r\n");
    ProgramResult r = run_on(dir, {"/c3", "/d2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        dir.files(),
        folded(Files{{kHost, "lc2\r\ncn3\r\nlc10 #c0c0c0\r\n"
                             "sl 8.000000000000 18.000000000000 42.000000000000 18.000000000000 "
                             "42.000000000000 27.000000000000 8.000000000000 27.000000000000\r\n"
                             "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n"
                             "cn3\r\nlg14\r\nly14\r\nlt20\r\nlc2\r\n"}}));
}

// The box's colour: a colour of one's own (/c#RRGGBB, either case) or a
// shade, the last /c counting; the level-2 trace shows which.
TEST(EndToEnd, AnyColourForTheBox) {
    const std::string drawing = "ch 10 20 30 0 \"ABC\r\n";
    const std::string rest = "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
                             "43.000000000000 23.000000000000 7.000000000000 23.000000000000\r\n"
                             "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n" +
                             kTrailer;
    struct Case {
        std::vector<std::string> args;
        const char* colour;
    } cases[] = {
        {{"/c#ffffff"}, "ffffff"},
        {{"-C#FFAA00"}, "ffaa00"},
        {{"/c#ffffff", "/c3"}, "c0c0c0"},
        {{"/c#fff"}, "f8f8f8"}, // not six digits: the number 0, the lightest shade
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, drawing);
        const ProgramResult r = run_on(dir, c.args);
        EXPECT_EQ(r.status, 0) << c.args.front();
        EXPECT_EQ(r.err, "") << c.args.front();
        EXPECT_EQ(dir.files(),
                  folded(Files{{kHost, "lc10 #" + std::string(c.colour) + "\r\n" + rest}}))
            << c.args.front();
    }
    TempDir dir;
    dir.write(kHost, drawing);
    const ProgramResult traced = run_on(dir, {"/c#FFFFFF", "/t2"});
    EXPECT_EQ(traced.status, 0);
    EXPECT_NE(traced.out.find("#   Solid(#ffffff)  color-hex(#ffffff)\n"), std::string::npos)
        << traced.out;
    EXPECT_NE(traced.out.find("CMD-option /c(#ffffff)  /d(3) /f(0)\n"), std::string::npos)
        << traced.out;
    EXPECT_EQ(dir.files()[fold("JWC_TEMP.$$$")], "lc10 #ffffff\r\n" + rest);
}

TEST(EndToEnd, LineShapes) {
    struct Case {
        const char* what;
        std::string input;
        std::string output;
    } cases[] = {
        {"empty file", "", kTrailer},
        {"lone LF line ends", "#a\nlc3\n", "#a\r\nlc3\r\nlg14\r\nly14\r\nlt20\r\nlc3\r\n"},
        {"last line without line end", "#a\r\n#b", "#a\r\n#b" + kTrailer},
        // A line longer than a piece goes as a whole.
        {"line longer than 254", std::string(1, '#').append(300, 'x').append("\r\n"),
         std::string(1, '#').append(300, 'x').append("\r\n") + kTrailer},
        {"lone CR and NUL are data", std::string("#a\rb\0c\r\n", 8),
         std::string("#a\rb\0c\r\n", 8) + kTrailer},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, c.input);
        ProgramResult r = run_on(dir);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(dir.files(), folded(Files{{kHost, c.output}})) << c.what;
    }
}

// A long text is cut at 231 bytes, never inside a two-byte Shift-JIS
// character, so no lead byte stands before the line end.
TEST(EndToEnd, LongTextsKeepWholeCharacters) {
    const std::string kanji = "\x8a\xbf"; // one two-byte character
    struct Case {
        std::string text, kept;
    } cases[] = {
        {std::string(230, 'a') + kanji, std::string(230, 'a')},
        {std::string(229, 'a') + kanji + kanji, std::string(229, 'a') + kanji},
        {std::string(240, '\xb1'), std::string(231, '\xb1')}, // half-width kana
        {"AB\x8a", "AB\x8a"},                                 // a lone lead byte stays
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, "ch 0 0 1 0 \"" + c.text + "\r\n");
        ASSERT_EQ(run_on(dir).status, 0);
        const std::string output = dir.files()[fold(kHost)];
        const std::string record =
            "ch 0.0000000000 0.0000000000 1.0000000000 0.0000000000 \"" + c.kept + "\r\n";
        EXPECT_NE(output.find(record), std::string::npos) << c.text.size();
    }
}

TEST(EndToEnd, LongLinesCountTowardsTheLimitPiecewise) {
    // 25,000 lines of 300 bytes are 50,000 pieces: accepted. One more is not.
    const std::string line = std::string(1, '#').append(297, 'x').append("\r\n");
    for (int extra : {0, 1}) {
        TempDir dir;
        const std::string drawing = repeat(line, 25000) + (extra ? "#\r\n" : "");
        dir.write(kHost, drawing);
        ProgramResult r = run_on(dir);
        EXPECT_EQ(r.status, extra ? 1 : 0);
        EXPECT_EQ(r.err, extra ? "Too many lines: jwc_temp.txt has more than 50000 lines \n" : "");
        if (extra)
            EXPECT_EQ(dir.files(), folded(Files{{kHost, drawing}, {"JWC_TEMP.$$$", kOverLimit}}));
        else
            EXPECT_EQ(dir.files(), folded(Files{{kHost, drawing + kTrailer}}));
    }
}

// Refused at every debug level, with the same line: a level that counts
// first and one that counts during the scan.
TEST(EndToEnd, FiftyThousandLinesPassAndOneMoreIsRefused) {
    const std::string too_many = "Too many lines: jwc_temp.txt has more than 50000 lines \n";
    for (const char* level : {"/t0", "/t1", "/t4"}) {
        for (int lines : {50000, 50001}) {
            TempDir dir;
            const std::string drawing = repeat("pt 1 2\r\n", lines);
            dir.write(kHost, drawing);
            ProgramResult r = run_on(dir, {level});
            const std::string where = std::string(level) + ", " + std::to_string(lines);
            if (lines == 50000) {
                EXPECT_EQ(r.status, 0) << where;
                EXPECT_EQ(r.err, "") << where;
                continue;
            }
            EXPECT_EQ(r.status, 1) << where;
            EXPECT_EQ(r.err, too_many) << where;
            EXPECT_EQ(dir.files(), folded(Files{{kHost, drawing}, {"JWC_TEMP.$$$", kOverLimit}}))
                << where;
        }
    }
}

TEST(EndToEnd, NoInterchangeFile) {
    TempDir dir;
    ProgramResult r = run_on(dir);
    EXPECT_EQ(r.status, kStatusMinusOne);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.TXT \n");
    EXPECT_TRUE(dir.files().empty());
}

TEST(EndToEnd, StaleFilesOfAnInterruptedRun) {
    TempDir dir;
    dir.write(kHost, "lc4\r\n");
    dir.write("JWC_x2x2.$$", "lc1\r\n");
    dir.write("JWC_x2x2.$$$", "lc2\r\n");
    if (fold("JWC_TEMP.TXT") != kHost) dir.write("JWC_TEMP.TXT", "lc3\r\n"); // else: one file
    dir.write("JWC_TEMP.$$$", "junk");
    ProgramResult r = run_on(dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.files(), folded(Files{{kHost, "lc4\r\nlg14\r\nly14\r\nlt20\r\nlc4\r\n"}}));
}

// A write fails, at once, a block in, after the input's size, or megabytes
// in, once the disk has begun writing the output behind the computation:
// the run says so, and the host's file is all that stays.
TEST(EndToEnd, AWriteFailureKeepsTheHostsFile) {
    if (!file_size_limits_supported()) GTEST_SKIP() << "no file-size limit on this platform";
    // The inputs fit under the limits, the outputs (three records per text) do not.
    const std::string small = repeat("ch 1 2 3 0 \"text\r\n", 1000);  // 18 kB in, 210 kB out
    const std::string large = repeat("ch 1 2 3 0 \"text\r\n", 15000); // 270 kB in, 3 MB out
    struct Case {
        const std::string& drawing;
        long limit;
    } cases[] = {
        {small, 100L},           {small, static_cast<long>(small.size()) + 10},
        {small, 65536L + 7},     {small, 150000L},
        {large, (1L << 20) + 7}, {large, (2L << 20) + 7},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, c.drawing);
        Launch launch;
        launch.file_size = c.limit;
        ProgramResult r = run_on(dir, {}, launch);
        EXPECT_EQ(r.status, 1) << c.limit;
        EXPECT_EQ(r.err, "Cannot write file: JWC_TEMP.$$$ (File too large) \n") << c.limit;
        const Files files = dir.files();
        EXPECT_EQ(files.size(), 1u) << c.limit; // no partial output
        EXPECT_TRUE(files.count(fold(kHost)) && files.at(fold(kHost)) == c.drawing) << c.limit;
    }
}

// A directory under the output's name blocks the run; under a name the run
// does not need (the working name, where the host's file stays under its
// own), it is left alone.
TEST(EndToEnd, DirectoriesUnderTheProgramsNames) {
    const std::string output = "lc4\r\n" + kTrailer.substr(0, 18) + "lc4\r\n";
    struct Case {
        const char* directory;
        int status;
        const char* err;
        std::string host;
    } cases[] = {
        {"JWC_TEMP.$$$", kStatusMinusOne, "Cannot open file: JWC_TEMP.$$$ \n", "lc4\r\n"},
        {"JWC_TEMP.TXT", 0, "", output},
    };
    for (const Case& c : cases) {
        if (fold(c.directory) == kHost) continue; // one name where case does not count
        TempDir dir;
        dir.write(kHost, "lc4\r\n");
        dir.make_directory(c.directory);
        ProgramResult r = run_on(dir);
        EXPECT_EQ(r.status, c.status) << c.directory;
        EXPECT_EQ(r.err, c.err) << c.directory;
        EXPECT_EQ(dir.files(), folded(Files{{kHost, c.host}})) << c.directory;
    }
}

TEST(EndToEnd, DebugLevelsLeaveTheHostsFileAndKeepTheOutput) {
    const std::string drawing = "hq\r\nhch 5 5 5 5 5 5 5 5 5 5\r\nch 10 20 30 0 \"ABC\r\n";
    const std::string records =
        "hd\r\nlc10 #aaaaaa\r\n"
        "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 43.000000000000 "
        "28.000000000000 7.000000000000 28.000000000000\r\n"
        "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n";
    const std::string end_lines =
        "# ------------------ main() Pattern1 end file closing ------------------ \r\n"
        "#    jd_xmax= 3 stepcnt= 1 KYlengTotal= 0.00000000\r\n";
    const std::string option_trace = "# --- command line option ---------------\n# --- wSCLR=(0)\n";
    const std::string box_trace =
        "#----- Matte01() ---------- start\n"
        "#        input(ChSTR) = (ABC)  MOJIS(1)\n"
        "#        input(ChX,ChY)=(10.0, 20.0) (ChDX,ChDY)=(30.0, 0.0)\n"
        "#         Free cn0 size: W(0.0) H(0.0) D(0.0) Pen(0)\n"
        "#   Solid(5)  color-hex(#aaaaaa)\n"
        "#        Moji-Size(MOJI_zw, MOJI_zh, MOJI_zd) = (0.0, 5.0, 0.0)  Moji(1)\n"
        "#        Pen is(0)  CMD-option /c(5)  /d(3) /f(0)\n"
        "#   iBOLD(0)  str1=(ABC)\n"
        "# ch 10.000000 20.000000 30.000000 0.000000 \"ABC\n";
    auto scanner_trace = [](unsigned index, const std::string& line) {
        return "## ---- JW_PATTERN()  jwc_temp.txt processing --------\n##  jd_x=" +
               std::to_string(index) + "/3 : jd_x/jd_xmax  jd_limit=50000\n##  buf=(" + line +
               "\n)\n";
    };
    struct Case {
        const char* level;
        std::string out;
        std::string output;
    } cases[] = {
        {"/t1", "", records + end_lines + kTrailer},
        {"/t2", "\n\n#### debug #### Cmd-Option read\n" + box_trace, records + kTrailer},
        {"/t3",
         option_trace + scanner_trace(0, "hq") + scanner_trace(1, "hch 5 5 5 5 5 5 5 5 5 5") +
             scanner_trace(2, "ch 10 20 30 0 \"ABC") +
             "# ------------------ main() Pattern1 end file closing ------------------ \n"
             "# jd_xmax= 3 stepcnt= 1 Error(0)\n",
         records + kTrailer},
        {"/t4", option_trace, records + kTrailer},
        {"/t6", option_trace, records + kTrailer},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, drawing);
        ProgramResult r = run_on(dir, {c.level});
        EXPECT_EQ(r.status, 0) << c.level;
        EXPECT_EQ(r.err, "") << c.level;
        EXPECT_EQ(r.out, c.out) << c.level;
        EXPECT_EQ(dir.files(), folded(Files{{kHost, drawing}, {"JWC_TEMP.$$$", c.output}}))
            << c.level;
    }
}

// A selection without a horizontal text: the host is told so, and keeps
// its drawing. Without "hq" the host deletes nothing, and at a debug level
// the output is written as ever.
TEST(EndToEnd, ASelectionWithoutTextsIsSaidToTheHost) {
    const std::string notice = "he  \x91\x49\x91\xf0\x94\xcd\x88\xcd\x82\xc9\x89\xa1\x8f\x91"
                               "\x82\xab\x82\xcc\x95\xb6\x8e\x9a\x82\xaa\x82\xa0\x82\xe8"
                               "\x82\xdc\x82\xb9\x82\xf1\r\n";
    const std::string elements = "lc2\r\n 0 0 10 10\r\ncv 0 0 0 1 \"V\r\n";
    const std::string level_1 =
        "hd\r\n" + elements +
        "# ------------------ main() Pattern1 end file closing ------------------ \r\n"
        "#    jd_xmax= 5 stepcnt= 3 KYlengTotal= 0.00000000\r\n" +
        kTrailer.substr(0, 18) + "lc2\r\n";
    struct Case {
        std::string drawing;
        const char* level;
        Files files;
    } cases[] = {
        {"hq\r\nhk 0\r\n" + elements, "/t0", {{kHost, notice}}},
        {"hq\r\n", "/t0", {{kHost, notice}}},
        {elements, "/t0", {{kHost, "lc2\r\n" + kTrailer.substr(0, 18) + "lc2\r\n"}}},
        {"hq\r\nhk 0\r\n" + elements,
         "/t1",
         {{kHost, "hq\r\nhk 0\r\n" + elements}, {"JWC_TEMP.$$$", level_1}}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, c.drawing);
        ProgramResult r = run_on(dir, {c.level});
        EXPECT_EQ(r.status, 0) << c.drawing;
        EXPECT_EQ(r.err, "") << c.drawing;
        EXPECT_EQ(dir.files(), folded(c.files)) << c.drawing;
    }
}

TEST(EndToEnd, OptionsAreReadAndIllegalOnesReported) {
    TempDir dir;
    dir.write(kHost, "ch 0 0 10 0 \"x\r\n");
    ProgramResult r = run_on(dir, {"/x", "ignored", "-C0", "/D0", "/f1", "/q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n illegal Option.\n\n illegal Option.\n");
    EXPECT_EQ(
        dir.files(),
        folded(Files{{kHost, "lc10 #f8f8f8\r\n"
                             "sl 0.000000000000 0.000000000000 10.000000000000 0.000000000000 "
                             "10.000000000000 0.000000000000 0.000000000000 0.000000000000\r\n"
                             "ch 0.0000000000 0.0000000000 10.0000000000 0.0000000000 \"^!x\r\n" +
                                 kTrailer}}));
}

// A person's arguments: help and version answer and touch no file,
// wherever they stand; -h stays an illegal letter of the host's options.
TEST(EndToEnd, HelpAndVersionTouchNoFile) {
    struct Case {
        std::vector<std::string> args;
        const char* starts;
    } cases[] = {
        {{"--help"}, "usage: textmatte "},
        {{"/?"}, "usage: textmatte "},
        {{"/c3", "/x", "--help"}, "usage: textmatte "},
        {{"--version"}, "textmatte " TEXTMATTE_VERSION "\n"},
        {{"/t3", "--version", "--help"}, "textmatte " TEXTMATTE_VERSION "\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, "ch 0 0 1 0 \"x\r\n");
        ProgramResult r = run_on(dir, c.args);
        EXPECT_EQ(r.status, 0) << c.args.back();
        EXPECT_EQ(r.out.rfind(c.starts, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "") << c.args.back();
        EXPECT_EQ(dir.files(), folded(Files{{kHost, "ch 0 0 1 0 \"x\r\n"}})) << c.args.back();
    }
    const std::string usage = run_on(TempDir(), {"--help"}).out;
    for (const char* part : {"/cN", "/dN", "/fN", "/tN", "/a /b /e /m /n /s /u /w", "Debug levels",
                             "JWC_TEMP.$$$", "Exit status"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    TempDir dir;
    dir.write(kHost, "lc1\r\n");
    ProgramResult h = run_on(dir, {"-h"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.err, "\n illegal Option.\n");
    EXPECT_EQ(dir.files(), folded(Files{{kHost, "lc1\r\n" + kTrailer.substr(0, 18) + "lc1\r\n"}}));
}

} // namespace
} // namespace textmatte::testing
