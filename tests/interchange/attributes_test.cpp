#include "interchange/attributes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/pipeline.hpp"

namespace textmatte {
namespace {

// The trailer a drawing of attribute records ends with (no texts, so the
// whole output after the copied records is the trailer).
std::string trailer_of(const std::string& input) {
    std::string all = testing::convert_all(input).output;
    std::string copied = testing::scan_only(input).output;
    EXPECT_EQ(all.compare(0, copied.size(), copied), 0);
    return all.substr(copied.size());
}

TEST(Trailer, RestoresTheFirstValueOfEveryAttribute) {
    const std::string untouched = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";
    struct Case {
        const char* input;
        std::string trailer;
    } cases[] = {
        {"", untouched},
        {"lc3\r\nlc5\r\n", "lg14\r\nly14\r\nlt20\r\nlc3\r\n"},
        {"lc20\r\nlc7\r\n", "lg14\r\nly14\r\nlt20\r\nlc7\r\n"},
        {"lya\r\n", "lg14\r\nlya\r\nlt20\r\nlc20\r\n"},
        {"lgf\r\nlg3\r\n", "lgf\r\nly14\r\nlt20\r\nlc20\r\n"},
        {"lg14\r\nlg3\r\n", "lg3\r\nly14\r\nlt20\r\nlc20\r\n"}, // hex 14 is the sentinel
        {"lt2\r\n", "lg14\r\nly14\r\nlt2\r\nlc20\r\n"},
        {"pn5\r\n", untouched + "pn5\r\n"},
        {"pna\r\n", untouched},
        {"pn-1\r\n", untouched + "pn-1\r\n"},
        {"cn3\r\ncn0 2 2 0 1\r\n", "cn3\r\n" + untouched},
        {"cn0 2.5 2.5 0 1\r\ncn3\r\n", "cn0 2.50 2.50 0.00 1\r\n" + untouched},
        {"cn0 0 2.5 0 1\r\n", untouched},
        {"cn10\r\n", "cn10\r\n" + untouched},
        {"cn11\r\n", untouched},
        {"cn-2\r\n", "cn-2\r\n" + untouched},
        {"cn20\r\ncn4\r\n", "cn4\r\n" + untouched},
        {"cn\"\r\ncn4\r\n", "cn4\r\n" + untouched},
        {"lcx\r\nlc4\r\n", "lg14\r\nly14\r\nlt20\r\nlc1\r\n"},
        {"lc10 #aaaaaa\r\n", "lg14\r\nly14\r\nlt20\r\nlc10\r\n"},
        {"lc2\r\nlc\r\n", "lg14\r\nly14\r\nlt20\r\nlc2\r\n"},
        {"lc-4\r\n", "lg14\r\nly14\r\nlt20\r\nlc-4\r\n"},
        {"lgffffffff\r\n", "lgffffffff\r\nly14\r\nlt20\r\nlc20\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trailer_of(c.input), c.trailer) << c.input;
}

TEST(Trailer, FreeSizeLineNeedsAPositiveWidth) {
    Attributes a;
    a.first_text_type.offer(0);
    a.first_free_size = FreeSize{std::nan(""), 20.0, 20.0, 20};
    testing::Captured cap;
    write_trailer(a, cap.out);
    EXPECT_EQ(cap.str(), "lg14\r\nly14\r\nlt20\r\nlc20\r\n");
}

TEST(Trailer, FollowsTheLevelOneCommentLines) {
    auto r =
        testing::convert_all("hq\r\nlc2\r\n", testing::at_level(DebugLevel::closing_comments), 2);
    EXPECT_EQ(r.output,
              "hd\r\nlc2\r\n"
              "# ------------------ main() Pattern1 end file closing ------------------ \r\n"
              "#    jd_xmax= 2 stepcnt= 1 KYlengTotal= 0.00000000\r\n"
              "lg14\r\nly14\r\nlt20\r\nlc2\r\n");
}

} // namespace
} // namespace textmatte
