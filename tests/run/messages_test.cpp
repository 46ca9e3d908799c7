#include "run/messages.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run/failure.hpp"
#include "support/capture.hpp"
#include "support/documents.hpp"

namespace textmatte {
namespace {

using testing::read_document;

// A message as the documents show it: without the line ends and blanks
// around it, its numbers and names as placeholders of any spelling, and,
// where the row says the system's reason, perhaps an example of one.
std::regex shown_as(std::string_view format, Reason reason = Reason::none) {
    std::string_view text = format;
    while (!text.empty() && (text.front() == '\n' || text.front() == ' '))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    std::string pattern;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            pattern += "\\S+";
            ++i;
        } else if (std::string_view("\\^$.|?*+()[]{}").find(text[i]) != std::string_view::npos) {
            pattern += std::string("\\") + text[i];
        } else {
            pattern += text[i];
        }
    }
    if (reason == Reason::system) pattern += "( \\([^()]+\\))?";
    return std::regex(pattern);
}

// The rows a user may meet, which the documents must list: all but an
// unexpected error's own words.
std::vector<MessageRow> documented_rows() {
    std::vector<MessageRow> rows;
    for (const MessageRow& row : kMessages)
        if (row.report != Report::unexpected) rows.push_back(row);
    return rows;
}

// Every place a document names a message: from one of the messages' first
// words to the end of the line, a backquote, a quote or a table's bar.
std::vector<std::string> mentions_in(const std::string& text) {
    static const std::regex opener("Cannot [a-z ]+ (file|folder)|Too many lines|Interrupted:|"
                                   "Stopped by signal|Out of memory|illegal Option");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), opener);
         it != std::sregex_iterator(); ++it) {
        const std::size_t begin = static_cast<std::size_t>(it->position());
        std::size_t end = text.find_first_of("`\"|\r\n", begin);
        if (end == std::string::npos) end = text.size();
        const std::size_t closing = text.find("\xe3\x80\x8d", begin); // a Japanese quote
        if (closing < end) end = closing;
        std::string mention = text.substr(begin, end - begin);
        while (!mention.empty() && mention.back() == ' ')
            mention.pop_back();
        found.push_back(mention);
    }
    return found;
}

#if defined(_WIN32)
constexpr int kDiskFull = 112; // ERROR_DISK_FULL
#else
constexpr int kDiskFull = ENOSPC;
#endif

// The line a failure is said with.
std::string said_for(Report report, int system_error) {
    testing::Captured errors(LineEnds::lf);
    write_failure(Failure{report, "NAME", "OTHER", "what_went_wrong", system_error}, errors.out);
    return errors.str();
}

// The reports are written from the table's formats: each line a failure
// is said with matches its row, and carries the system's reason, in
// parentheses before the closing blank, exactly where the row says so and
// the system gave one.
TEST(Messages, EachFailureIsSaidAsItsRowReads) {
    const std::string reason = system_reason(kDiskFull);
    for (const MessageRow& row : kMessages) {
        if (row.rule == StatusRule::fault || row.rule == StatusRule::none) continue;
        for (int system_error : {0, kDiskFull}) {
            std::string said = said_for(row.report, system_error);
            ASSERT_GE(said.size(), 2u) << row.format;
            EXPECT_EQ(said.substr(said.size() - 2), " \n") << row.format;
            said.resize(said.size() - 2);
            const std::string suffix = " (" + reason + ")";
            const bool with_reason = system_error != 0 && row.reason == Reason::system;
            if (with_reason) {
                ASSERT_TRUE(said.ends_with(suffix)) << said;
                said.resize(said.size() - suffix.size());
            }
            EXPECT_FALSE(said.ends_with(suffix)) << said;
            EXPECT_TRUE(std::regex_match(said, shown_as(row.format))) << said;
        }
    }
}

// The system's words come on one line, without a closing period; the
// missing drawing and the output that cannot be created keep the lines a
// host has always seen.
TEST(Messages, TheSystemsReasonIsOneLineAndLeavesTheHostsTwoLinesAlone) {
    for (int system_error : {kDiskFull, 2, 5, 13}) {
        const std::string reason = system_reason(system_error);
        EXPECT_FALSE(reason.empty()) << system_error;
        EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
        EXPECT_NE(reason.back(), '.') << reason;
        EXPECT_NE(reason.back(), ' ') << reason;
    }
#if !defined(_WIN32)
    EXPECT_EQ(said_for(Report::cannot_write, ENOSPC),
              "Cannot write file: NAME (No space left on device) \n");
    EXPECT_EQ(said_for(Report::cannot_rename, EACCES),
              "Cannot rename file: NAME to OTHER (Permission denied) \n");
#endif
    EXPECT_EQ(said_for(Report::no_drawing, kDiskFull), "Cannot open file: NAME \n");
    EXPECT_EQ(said_for(Report::no_output_file, kDiskFull), "Cannot open file: NAME \n");
    EXPECT_EQ(said_for(Report::held_open, kDiskFull),
              "Cannot open file: NAME (another program is using it) \n");
}

// The lines of `text` that name a message, with the mention in each.
struct Mention {
    std::string message;
    std::string line;
};
std::vector<Mention> mentions_with_lines(const std::string& text) {
    std::vector<Mention> found;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        for (const std::string& m : mentions_in(line))
            found.push_back({m, line});
        at = end + 1;
    }
    return found;
}

bool shown_for(Platforms platforms, bool windows_document) {
    return windows_document ? platforms != Platforms::linux_only : true;
}

// The users' documents list every message the program can say where they
// are read, and no other: a message added, changed or dropped fails here
// until they follow. The Windows users' READMEs list the Windows rows only;
// the manual lists every row, and says which system a row is for.
TEST(Messages, TheDocumentsListEveryMessageAndNoOther) {
    struct Document {
        const char* path;
        bool windows_only;
    } documents[] = {
        {"docs/manual.md", false},
        {"packaging/README-ja.txt", true},
        {"packaging/README-en.txt", true},
    };
    for (const Document& document : documents) {
        const std::vector<Mention> mentions = mentions_with_lines(read_document(document.path));
        for (const MessageRow& row : documented_rows()) {
            bool listed = false;
            for (const Mention& m : mentions) {
                if (!std::regex_match(m.message, shown_as(row.format, row.reason))) continue;
                listed = true;
                if (document.windows_only) continue;
                if (row.platforms == Platforms::linux_only) {
                    EXPECT_NE(m.line.find("Linux:"), std::string::npos)
                        << document.path << " does not say it is Linux only: " << row.format;
                }
                if (row.platforms == Platforms::windows_only) {
                    EXPECT_NE(m.line.find("Windows:"), std::string::npos)
                        << document.path << " does not say it is Windows only: " << row.format;
                }
            }
            EXPECT_EQ(listed, shown_for(row.platforms, document.windows_only))
                << document.path << (listed ? " lists, for another system: " : " leaves out: ")
                << row.format;
        }
        for (const Mention& m : mentions) {
            bool known = false;
            for (const MessageRow& row : documented_rows())
                known = known || std::regex_match(m.message, shown_as(row.format, row.reason));
            EXPECT_TRUE(known) << document.path
                               << " names a message the program cannot say: " << m.message;
        }
    }
}

TEST(Messages, StatusesAreTheRowsOwn) {
    EXPECT_EQ(exit_code(status_of(Report::no_drawing)), -1);
    EXPECT_EQ(exit_code(status_of(Report::no_output_file)), -1);
    EXPECT_EQ(exit_code(status_of(Report::locked)), 1);
    EXPECT_EQ(exit_code(status_of(Report::not_durable)), 2);
    const AroundNumber stopped = around_number(kStoppedBefore);
    EXPECT_EQ(stopped.before, "Stopped by signal ");
    EXPECT_EQ(stopped.after, ": jwc_temp.txt is as it was before the run \n");
}

} // namespace
} // namespace textmatte
