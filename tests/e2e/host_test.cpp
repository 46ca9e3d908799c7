// End-to-end, as the host applies the result: generated selections of every
// kind of record the host writes, run through the built program, then
// applied the way the host does it ("hq" left: not executed; "he": an error
// shown, nothing changed; "hd": the selection deleted, then every record of
// the result drawn with the attributes in force). Afterwards every selected
// element must be in the drawing with its attributes, every horizontal text
// must have its box, of its size, right before it, nothing else may have
// been added, and the write settings must be those from before the run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "e2e/program.hpp"

namespace textmatte::testing {
namespace {

const std::string kHost = "jwc_temp.txt";

using Attributes = std::map<std::string, std::string>;

// An element as the host keeps it: its record and the attributes it was
// drawn with.
struct Element {
    std::string record;
    Attributes attributes;
};

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// The attribute a record sets, or "" for a record that is no attribute.
std::string attribute_key(const std::string& record) {
    if (starts_with(record, "cn\"")) return "font";
    for (const char* key : {"lg", "ly", "lc", "lt", "lw", "pn", "cn", "cc", "bz"})
        if (starts_with(record, key)) return key;
    return "";
}

bool is_header(const std::string& record) {
    return starts_with(record, "h") || starts_with(record, "file=");
}

// A text's colour is its text type's, not the colour record's.
Attributes as_drawn(const std::string& record, Attributes attributes) {
    if (starts_with(record, "ch")) attributes.erase("lc");
    return attributes;
}

// The host's side of the exchange, reduced to what it keeps of a file.
struct HostView {
    std::vector<Element> elements; // in file order
    Attributes write_settings;     // in force after the file
    bool not_executed = false;     // the file still holds "hq"
    std::string error;             // what an "he" record shows
};

HostView read_as_host(const std::string& bytes, Attributes in_force) {
    HostView view;
    for (const std::string& record : lines_of(bytes)) {
        if (starts_with(record, "hq")) view.not_executed = true;
        if (starts_with(record, "he")) view.error = record.substr(2);
        if (const std::string key = attribute_key(record); !key.empty()) {
            in_force[key] = record;
            continue;
        }
        if (starts_with(record, "#") || is_header(record)) continue;
        view.elements.push_back({record, as_drawn(record, in_force)});
    }
    view.write_settings = in_force;
    return view;
}

// The write settings the host wrote before the selection's "#".
Attributes write_settings_of(const std::string& drawing) {
    Attributes settings;
    for (const std::string& record : lines_of(drawing)) {
        if (starts_with(record, "#")) break;
        if (const std::string key = attribute_key(record); !key.empty()) settings[key] = record;
    }
    return settings;
}

std::vector<double> numbers_of(const std::string& record, std::size_t from) {
    std::vector<double> values;
    const char* p = record.c_str() + from;
    for (;;) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) return values;
        values.push_back(v);
        p = end;
    }
}

double distance(double x1, double y1, double x2, double y2) {
    return std::hypot(x2 - x1, y2 - y1);
}

// A text as written back: the same start, direction and string.
bool same_text(const std::string& original, const std::string& written) {
    const std::vector<double> a = numbers_of(original, 2), b = numbers_of(written, 2);
    if (a.size() < 4 || b.size() < 4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (std::fabs(a[i] - b[i]) > 1e-9) return false;
    return original.substr(original.find('"')) == written.substr(written.find('"'));
}

// Text heights by text type, from the "hch" record and "cn0" records.
double text_height(const Attributes& attributes, const std::vector<double>& table_heights) {
    const std::string type = attributes.at("cn");
    if (starts_with(type, "cn0")) return numbers_of(type, 3).at(1);
    return table_heights.at(static_cast<std::size_t>(std::atoi(type.c_str() + 2)));
}

// The selections the host may write: headers, write settings, "#", then
// elements of every kind, each after the attribute records that change.
class SelectionMaker {
  public:
    explicit SelectionMaker(unsigned seed) : random_(seed) {}

    std::string make(int elements) {
        std::string s = "hq\r\nhk 0\r\nhs 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\r\n"
                        "hcw 2 2.5 3 3.5 4 5 6 7 8 10\r\n"
                        "hch 2 2.5 3 3.5 4 5 6 7 8 10\r\n"
                        "hcd 0 0 0 0 0 0 0 0 0 0\r\nhcc 1 2 3 4 5 6 7 8 9 1\r\n"
                        "hn 0 0 100 100\r\nhp1ln 0 0\r\nfile=C:\\drawings\\plan.jww\r\n"
                        "lg0\r\nly1\r\nlc2\r\nlt1\r\ncn3\r\ncn\"\x82\x6c\x82\x72 \x83\x53\x83\x56"
                        "\x83\x62\x83\x4e\r\n#\r\n";
        if (pick(2) == 0) s += "bz\r\n";
        for (int i = 0; i < elements; ++i)
            s += attribute_changes() + element();
        return s;
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    std::string number() {
        return std::to_string(pick(200000) - 100000) + "." + std::to_string(pick(1000));
    }
    std::string numbers(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s += ' ';
            s += number();
        }
        return s;
    }

    std::string attribute_changes() {
        std::string s;
        if (pick(4) == 0) s += "lg" + std::string(1, "0123456789abcdef"[pick(16)]) + "\r\n";
        if (pick(4) == 0) s += "ly" + std::string(1, "0123456789abcdef"[pick(16)]) + "\r\n";
        if (pick(3) == 0) s += "lc" + std::to_string(1 + pick(9)) + "\r\n";
        if (pick(8) == 0) s += "lc10 #" + std::string(pick(2) ? "ff8000" : "3366CC") + "\r\n";
        if (pick(4) == 0) s += "lt" + std::to_string(1 + pick(9)) + "\r\n";
        if (pick(6) == 0) s += "lw" + std::to_string(pick(5)) + "\r\n";
        if (pick(6) == 0) s += "pn" + std::to_string(1 + pick(9)) + "\r\n";
        if (pick(4) == 0) s += "cn" + std::to_string(1 + pick(10)) + "\r\n";
        if (pick(10) == 0) s += "cn0 3 4.5 0.5 2\r\n";
        if (pick(10) == 0) s += "cc" + std::to_string(pick(9)) + "\r\n";
        return s;
    }

    std::string text_string() {
        const char* strings[] = {"A-101", "\x95\x94\x89\xae 2", "  lead blanks",
                                 "",      "\"quoted\"",         "x"};
        return strings[pick(6)];
    }

    std::string element() {
        switch (pick(20)) {
        case 0: return numbers(4) + "\r\n"; // a line: four numbers, no head
        case 1: return "ci" + numbers(3) + "\r\n";
        case 2: return "ci" + numbers(7) + "\r\n"; // an arc
        case 3: return "pt" + numbers(2) + "\r\n";
        case 4: return "sl" + numbers(8 - 2 * pick(2)) + "\r\n";
        case 5:
            return std::string(pick(2)   ? "sc"
                               : pick(2) ? "se"
                               : pick(2) ? "so"
                                         : "sg") +
                   numbers(5) + "\r\n";
        case 6:
        case 7:
        case 8:
            return "ch" + numbers(2) + " 10 " + std::to_string(pick(6)) + " \"" + text_string() +
                   "\r\n";
        case 9: return "cv" + numbers(4) + " \"" + text_string() + "\r\n";
        case 10: {
            const char* heads[] = {"cs", "cr", "co", "cp", "ct", "ck", "cz", "c2"};
            return heads[pick(8)] + numbers(4) + " \"12.5\r\n";
        }
        case 11: return "pl\r\n" + numbers(2) + "\r\n" + numbers(2) + "\r\n#\r\n";
        case 12: return "msg 1\r\n" + numbers(4) + "\r\ncs" + numbers(4) + " \"100\r\n#\r\n";
        case 13: return "BL block-" + std::to_string(pick(5)) + numbers(2) + "\r\n";
        case 14: return "z" + std::to_string(1 + pick(5)) + numbers(2) + "\r\n";
        case 15: return "# a comment\r\n";
        // Lines longer than a piece: a comment, a curve's long record, a text.
        case 16: return "# " + std::string(300 + static_cast<std::size_t>(pick(300)), 'c') + "\r\n";
        case 17: return "pl\r\n" + numbers(60) + "\r\n#\r\n";
        case 18: return "ch 1 2 10 0 \"" + std::string(300, 'W') + "\r\n";
        default: return "\r\n"; // an empty line
        }
    }

    std::mt19937 random_;
};

// What became of the selection once the host applied the result: the
// elements drawn, with each text's box taken out and checked.
void check_applied(const std::string& drawing, const HostView& after, int margin,
                   const std::string& seed) {
    const Attributes settings = write_settings_of(drawing);
    const HostView before = read_as_host(drawing, {});
    const std::vector<double> heights = [&] {
        std::vector<double> h{0.0};
        for (const std::string& record : lines_of(drawing))
            if (starts_with(record, "hch")) {
                const std::vector<double> v = numbers_of(record, 4);
                h.insert(h.end(), v.begin(), v.end());
            }
        return h;
    }();

    std::vector<Element> kept;
    int boxes = 0;
    for (std::size_t i = 0; i < after.elements.size(); ++i) {
        const Element& e = after.elements[i];
        if (starts_with(e.record, "sl") && starts_with(e.attributes.at("lc"), "lc10 #aaaaaa") &&
            i + 1 < after.elements.size() && starts_with(after.elements[i + 1].record, "ch")) {
            // A box: the size of the text beside it, plus the margin.
            const Element& text = after.elements[i + 1];
            const std::vector<double> c = numbers_of(e.record, 2), t = numbers_of(text.record, 2);
            ASSERT_EQ(c.size(), 8u) << seed;
            const double height = text_height(text.attributes, heights);
            EXPECT_NEAR(distance(c[0], c[1], c[6], c[7]), height + 2 * margin, 1e-6) << seed;
            EXPECT_NEAR(distance(c[0], c[1], c[2], c[3]), std::hypot(t[2], t[3]) + 2 * margin, 1e-6)
                << seed;
            ++boxes;
            continue;
        }
        kept.push_back(e);
    }
    ASSERT_EQ(kept.size(), before.elements.size()) << seed;
    int texts = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Element& was = before.elements[i];
        const Element& is = kept[i];
        if (starts_with(was.record, "ch")) {
            ++texts;
            const std::string cut = was.record.substr(0, was.record.find('"') + 1 + 231);
            EXPECT_TRUE(same_text(cut, is.record))
                << seed << ": " << was.record << " | " << is.record;
        } else {
            EXPECT_EQ(is.record, was.record) << seed;
        }
        EXPECT_EQ(is.attributes, was.attributes) << seed << ": " << was.record;
    }
    EXPECT_EQ(boxes, texts) << seed;
    for (const char* key : {"lg", "ly", "lc", "lt", "cn"})
        EXPECT_EQ(after.write_settings.at(key), settings.at(key)) << seed << ": " << key;
}

ProgramResult run_on(const TempDir& dir, const std::vector<std::string>& args = {}) {
    return run_program(TEXTMATTE_EXE, dir.path(), args);
}

TEST(AsTheHostAppliesIt, EverySelectedElementComesBackAndEveryTextHasItsBox) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        const std::string drawing = SelectionMaker(seed).make(10 + static_cast<int>(seed) * 4);
        TempDir dir;
        dir.write(kHost, drawing);
        const ProgramResult r = run_on(dir);
        ASSERT_EQ(r.status, 0) << seed << r.err;
        const std::string result = dir.files()[fold(kHost)];
        const HostView after = read_as_host(result, write_settings_of(drawing));
        ASSERT_FALSE(after.not_executed) << seed;
        ASSERT_EQ(after.error, "") << seed;
        check_applied(drawing, after, 3, "seed " + std::to_string(seed));
    }
}

// Where the host keeps its drawing: a debug run leaves "hq" in its file, a
// selection without a horizontal text gives an error, and without "hq" the
// host deletes nothing and draws only the boxes and texts added.
TEST(AsTheHostAppliesIt, TheDrawingStaysWhereTheHostKeepsIt) {
    const std::string elements = " 0 0 10 10\r\nci 5 5 2\r\ncv 0 0 0 1 \"V\r\n";
    {
        TempDir dir;
        const std::string drawing = SelectionMaker(7).make(30);
        dir.write(kHost, drawing);
        ASSERT_EQ(run_on(dir, {"/t1"}).status, 0);
        EXPECT_TRUE(read_as_host(dir.files()[fold(kHost)], {}).not_executed);
    }
    {
        TempDir dir;
        dir.write(kHost, "hq\r\nlg0\r\nlc2\r\n#\r\n" + elements);
        ASSERT_EQ(run_on(dir).status, 0);
        const HostView after = read_as_host(dir.files()[fold(kHost)], {});
        EXPECT_FALSE(after.not_executed);
        EXPECT_EQ(after.error, "  \x91\x49\x91\xf0\x94\xcd\x88\xcd\x82\xc9\x89\xa1\x8f\x91\x82\xab"
                               "\x82\xcc\x95\xb6\x8e\x9a\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9"
                               "\x82\xf1");
        EXPECT_TRUE(after.elements.empty());
    }
    {
        TempDir dir;
        dir.write(kHost, "lg0\r\nlc2\r\n#\r\n" + elements + "ch 0 0 5 0 \"T\r\n");
        ASSERT_EQ(run_on(dir).status, 0);
        const HostView after = read_as_host(dir.files()[fold(kHost)], {});
        std::vector<std::string> drawn;
        for (const Element& e : after.elements)
            drawn.push_back(e.record.substr(0, 2));
        EXPECT_EQ(drawn, (std::vector<std::string>{"sl", "ch"}));
    }
}

} // namespace
} // namespace textmatte::testing
