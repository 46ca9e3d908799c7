// End-to-end: the preview program on files, as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "e2e/program.hpp"
#include "support/xml.hpp"

namespace textmatte::testing {
namespace {

TEST(PreviewEndToEnd, DrawsTheExampleBeforeAndAfter) {
    TempDir dir;
    dir.write("before.txt", read_file(TEXTMATTE_EXAMPLES "/drawing.txt"));
    dir.write("after.txt", read_file(TEXTMATTE_EXAMPLES "/drawing.expected.txt"));
    for (const char* name : {"before", "after"}) {
        ProgramResult r = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(),
                                      {std::string(name) + ".txt", std::string(name) + ".svg"});
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        std::string error;
        auto svg = parse_xml(dir.files()[fold(std::string(name) + ".svg")], error);
        ASSERT_TRUE(svg) << error;
        EXPECT_EQ(svg->all("text").size(), 5u) << name;
        // Before: the drawing's lines; after: a grey box under every text.
        EXPECT_EQ(svg->all("line").size(), std::string(name) == "before" ? 4u : 0u);
        EXPECT_EQ(svg->all("polygon").size(), std::string(name) == "before" ? 0u : 5u);
    }
}

TEST(PreviewEndToEnd, SaysWhatIsWrong) {
    TempDir dir;
    ProgramResult usage = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), {});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "usage: textmatte-preview IN.txt OUT.svg\n");
    ProgramResult missing = run_program(TEXTMATTE_PREVIEW_EXE, dir.path(), {"none.txt", "out.svg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Cannot open file: none.txt \n");
    EXPECT_TRUE(dir.files().empty());
}

} // namespace
} // namespace textmatte::testing
