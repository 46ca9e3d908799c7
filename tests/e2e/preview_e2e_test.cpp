// End-to-end: the preview program on files, as a user runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/program.hpp"
#include "support/xml.hpp"

namespace textmatte::testing {
namespace {

XmlElement picture(const std::string& svg) {
    std::string error;
    auto root = parse_xml(svg, error);
    EXPECT_TRUE(root) << error;
    return root ? *root : XmlElement{};
}

TEST(PreviewEndToEnd, DrawsTheExampleBeforeAfterAndAsTheResult) {
    TempDir dir;
    dir.write("before.txt", read_file(TEXTMATTE_EXAMPLES "/drawing.txt"));
    dir.write("after.txt", read_file(TEXTMATTE_EXAMPLES "/drawing.expected.txt"));
    struct Case {
        std::vector<std::string> args;
        const char* svg;
        std::size_t texts, lines, boxes;
    } cases[] = {
        // Before: the drawing's lines; after: the same lines and a grey box
        // under every text; the result: the selection replaced by the
        // output, as the host shows it.
        {{"before.txt", "before.svg"}, "before.svg", 5, 25, 0},
        {{"after.txt", "after.svg"}, "after.svg", 5, 25, 5},
        {{"--result", "before.txt", "result.svg", "/c3", "/d2"}, "result.svg", 5, 25, 5},
    };
    for (const Case& c : cases) {
        ProgramResult r = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), c.args);
        EXPECT_EQ(r.status, 0) << c.svg;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        const XmlElement svg = picture(dir.files()[fold(c.svg)]);
        EXPECT_EQ(svg.all("text").size(), c.texts) << c.svg;
        EXPECT_EQ(svg.all("line").size(), c.lines) << c.svg;
        EXPECT_EQ(svg.all("polygon").size(), c.boxes) << c.svg;
    }
    // The result's boxes take the shade of its options.
    const XmlElement result = picture(dir.files()[fold("result.svg")]);
    EXPECT_EQ(result.all("polygon").front()->attributes.at("fill"), "#c0c0c0");
}

TEST(PreviewEndToEnd, WritesToStandardOutputAndSaysWhenNothingWasDrawn) {
    TempDir dir;
    dir.write("noise.bin", std::string("\x01\x02\xff\xfe\x80 random\r\n\x7f", 16));
    ProgramResult r = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), {"noise.bin", "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(picture(r.out).name, "svg");
    EXPECT_EQ(r.err, "Nothing to draw in file: noise.bin (no record of a drawing in it) \n");
    EXPECT_EQ(dir.files().size(), 1u);
}

TEST(PreviewEndToEnd, SaysWhatIsWrong) {
    TempDir dir;
    ProgramResult usage = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), {});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "usage: textmatte-preview IN.txt OUT.svg\n"
                         "       textmatte-preview --result IN.txt OUT.svg [/cN /dN /fN]\n"
                         "textmatte-preview --help says more.\n");
    ProgramResult missing = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), {"none.txt", "out.svg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Cannot open file: none.txt \n");
    EXPECT_TRUE(dir.files().empty());
}

// For a person at a terminal: the usage and the version on standard output,
// status 0, wherever the request stands, and no file touched or made.
TEST(PreviewEndToEnd, AnswersHelpAndVersionOnStandardOutput) {
    TempDir dir;
    dir.write("in.txt", "ch 0 0 1 0 \"x\r\n");
    const std::vector<std::vector<std::string>> help_requests = {
        {"--help"}, {"/?"}, {"--result", "in.txt", "out.svg", "/c3", "--help"}};
    for (const auto& args : help_requests) {
        ProgramResult r = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), args);
        EXPECT_EQ(r.status, 0) << args.front();
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: textmatte-preview IN.txt OUT.svg\n", 0), 0u) << r.out;
        for (const char* explained : {"IN.txt ", "OUT.svg ", "- writes it to standard output",
                                      "--result ", "/cN /dN /fN", "--version"})
            EXPECT_NE(r.out.find(explained), std::string::npos) << explained;
    }
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--version"}, {"in.txt", "--version", "out.svg"}}) {
        ProgramResult r = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "textmatte-preview " TEXTMATTE_VERSION "\n");
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(dir.files().size(), 1u);
}

} // namespace
} // namespace textmatte::testing
