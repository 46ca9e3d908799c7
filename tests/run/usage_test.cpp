#include "run/usage.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "options/options.hpp"
#include "support/capture.hpp"
#include "support/documents.hpp"

namespace textmatte {
namespace {

using testing::read_document;

std::string usage_text() {
    testing::Captured console(LineEnds::lf);
    write_usage(console.out);
    return console.str();
}

// What a text says of one option: from its name at the start of a line (or
// a table's cell) to the next option's.
std::string paragraph_of(const std::string& text, char letter) {
    const std::regex start("(^|\\n)[ |`]*/" + std::string(1, letter) + "N");
    std::smatch found;
    if (!std::regex_search(text, found, start)) return "";
    const std::size_t from = static_cast<std::size_t>(found.position()) + found.length();
    static const std::regex next("\\n[ |`]*/[a-z]");
    std::smatch after;
    const std::string rest = text.substr(from);
    const std::size_t to = std::regex_search(rest, after, next)
                               ? static_cast<std::size_t>(after.position())
                               : rest.size();
    return rest.substr(0, to);
}

// --help, the manual and the Windows users' READMEs state each option's
// default and range as the options apply them, and the letters ignored: a
// rule changed in one place fails here until every text follows.
TEST(Usage, EveryTextStatesTheOptionsRules) {
    struct Text {
        const char* what;
        std::string text;
        const char* default_is; // with D for the default
        const char* highest_is; // with H for the highest value
    } texts[] = {
        {"--help", usage_text(), "default D", "to H|\\sH \\^"},
        {"docs/manual.md", read_document("docs/manual.md"), "\\| D \\|", "modulo V|to H|\\sH `"},
        {"packaging/README-en.txt", read_document("packaging/README-en.txt"),
         "default D|\\sD none\\s+\\(default\\)", "to H|\\sH \\^"},
        {"packaging/README-ja.txt", read_document("packaging/README-ja.txt"),
         "既定値は D|[^0-9]D なし（既定値）", "～H|\\sH \\^"},
    };
    for (const Text& t : texts) {
        std::istringstream ignored(kIgnoredOptions);
        for (std::string letter; ignored >> letter;)
            EXPECT_NE(t.text.find(letter), std::string::npos) << t.what << " leaves out " << letter;
        for (const NumberOption& option : kNumberOptions) {
            const std::string paragraph = paragraph_of(t.text, option.letter);
            ASSERT_FALSE(paragraph.empty()) << t.what << " has no /" << option.letter << "N";
            auto filled = [&](std::string pattern) {
                for (const auto& [slot, value] :
                     {std::pair{'D', option.fallback}, std::pair{'H', option.values - 1},
                      std::pair{'V', option.values}})
                    for (std::size_t at; (at = pattern.find(slot)) != std::string::npos;)
                        pattern.replace(at, 1, std::to_string(value));
                return std::regex("(" + pattern + ")($|[^0-9])");
            };
            EXPECT_TRUE(std::regex_search(paragraph, filled(t.default_is)))
                << t.what << ", /" << option.letter << "N: no default " << option.fallback;
            EXPECT_TRUE(std::regex_search(paragraph, filled(t.highest_is)))
                << t.what << ", /" << option.letter << "N: no highest value " << option.values - 1;
        }
    }
}

} // namespace
} // namespace textmatte
