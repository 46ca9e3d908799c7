#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "preview/drawing.hpp"
#include "preview/shift_jis.hpp"
#include "preview/svg.hpp"
#include "support/capture.hpp"
#include "support/xml.hpp"

namespace textmatte::preview {
namespace {

using testing::XmlElement;

std::string svg_of(const std::string& input) {
    const Drawing d = read_drawing(input);
    testing::Captured cap(LineEnds::lf);
    write_svg(d, cap.out);
    return cap.str();
}

XmlElement picture(const std::string& input) {
    std::string error;
    auto root = testing::parse_xml(svg_of(input), error);
    EXPECT_TRUE(root) << error << "\n" << input;
    return root ? *root : XmlElement{};
}

// The drawn shapes, background left out, in document order.
std::vector<XmlElement> shapes(const XmlElement& svg) {
    std::vector<XmlElement> out;
    for (const XmlElement& e : svg.children)
        if (e.name != "rect") out.push_back(e);
    return out;
}

struct Expected {
    std::string name;
    std::map<std::string, std::string> attributes; // those to check
    std::string text;
};

TEST(Preview, DrawsEachRecordWhereItLies) {
    struct Case {
        const char* what;
        std::string input;
        std::vector<Expected> shapes;
    } cases[] = {
        // 10 x 5 units: scale 96 px per unit, y up in the drawing, down in the picture.
        {"lines",
         " 0 0 10 0\r\n 0 0 0 5\r\n",
         {{"line", {{"x1", "20.000"}, {"y1", "500.000"}, {"x2", "980.000"}, {"y2", "500.000"}}, ""},
          {"line", {{"x1", "20.000"}, {"y1", "500.000"}, {"x2", "20.000"}, {"y2", "20.000"}}, ""}}},
        {"circle",
         "ci 5 5 5\r\n",
         {{"circle",
           {{"cx", "500.000"}, {"cy", "500.000"}, {"r", "480.000"}, {"fill", "none"}},
           ""}}},
        {"quarter arc counter-clockwise from 0 to 90 degrees",
         "ci 0 0 10 0 90\r\n",
         {{"path", {{"d", "M 980.000 500.000 A 480.000 480.000 0 0 0 500.000 20.000"}}, ""}}},
        {"points",
         "pt 1 1\r\npt 3 3\r\n",
         {{"circle", {{"cx", "20.000"}, {"cy", "980.000"}, {"r", "1.5"}}, ""},
          {"circle", {{"cx", "980.000"}, {"cy", "20.000"}, {"r", "1.5"}}, ""}}},
        {"solids of four, three and two corners in the RGB colour",
         "lc10 #C0c0c0\r\nsl 0 0 10 0 10 10 0 10\r\nsl 0 0 10 0 5 10\r\nsl 0 0 10 10\r\n",
         {{"polygon",
           {{"points", "20.000,980.000 980.000,980.000 980.000,20.000 20.000,20.000"},
            {"fill", "#c0c0c0"}},
           ""},
          {"polygon", {{"points", "20.000,980.000 980.000,980.000 500.000,20.000"}}, ""},
          {"polygon", {{"points", "20.000,980.000 980.000,20.000"}}, ""}}},
        // 30 units over 960 px; "ABC" at 160 px is 3 x 0.6 x 160 = 288 px wide
        // in a monospace font: scaled 3.333 times to its run for renderers
        // that ignore textLength, and stretched to exactly 288 px before that
        // scale by those that honour it.
        {"text with the height of its text type, stretched to its run",
         "hch 1 2 5 4 5 6 7 8 9 10\r\ncn3\r\nch 0 0 30 0 \"ABC\r\n",
         {{"text",
           {{"font-size", "160.000"},
            {"transform", "translate(20.000 180.000) scale(3.333 1)"},
            {"textLength", "288.000"},
            {"lengthAdjust", "spacingAndGlyphs"}},
           "ABC"}}},
        {"text of the free size, rotated along its direction",
         "cn0 2 10 0 1\r\nch 0 0 0 20 \"up\r\n",
         {{"text",
           {{"font-size", "480.000"},
            {"transform", "translate(500.000 980.000) rotate(-90.000) scale(1.667 1)"},
            {"textLength", "576.000"}},
           "up"}}},
        // Japanese characters count one em each: 2 x 480 px over a 960 px run.
        {"full-width characters are about an em wide",
         "cn0 2 10 0 1\r\nch 0 0 20 0 \"\x95\x94\x89\xae\r\n",
         {{"text",
           {{"transform", "translate(20.000 500.000) scale(1.000 1)"}, {"textLength", "960.000"}},
           "\xe9\x83\xa8\xe5\xb1\x8b"}}},
        // A half-width kana is half an em, a full-width Latin letter a whole
        // one: 1.5 x 480 px over a 960 px run.
        {"half-width kana, full-width letters",
         "cn0 2 10 0 1\r\nch 0 0 20 0 \"\xb1\x82\x81\r\n",
         {{"text",
           {{"transform", "translate(20.000 500.000) scale(1.333 1)"}, {"textLength", "720.000"}},
           "\xef\xbd\xb1\xef\xbd\x81"}}},
        {"colours: numbered for lines and texts, RGB only for solids",
         "lc2\r\n 0 0 1 1\r\nlc10 #123456\r\n 0 1 1 0\r\nsl 0 0 1 0 1 1\r\nch 0 0 1 0 \"t\r\n",
         {{"line", {{"stroke", "#d00000"}}, ""},
          {"line", {{"stroke", "#d00000"}}, ""},
          {"polygon", {{"fill", "#123456"}}, ""},
          {"text", {{"fill", "#d00000"}}, "t"}}},
        {"Shift-JIS text comes out as UTF-8",
         "ch 0 0 10 0 \"\x95\x94\x89\xae\r\n",
         {{"text", {}, "\xe9\x83\xa8\xe5\xb1\x8b"}}},
        {"markup characters in a text", "ch 0 0 10 0 \"<a&b>\"'\r\n", {{"text", {}, "<a&b>\"'"}}},
        {"later records lie over earlier ones",
         "lc10 #aaaaaa\r\nsl 0 0 4 0 4 2\r\nch 1 1 2 0 \"x\r\n",
         {{"polygon", {}, ""}, {"text", {}, "x"}}},
    };
    for (const Case& c : cases) {
        const std::vector<XmlElement> got = shapes(picture(c.input));
        ASSERT_EQ(got.size(), c.shapes.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, c.shapes[i].name) << c.what;
            for (const auto& [key, value] : c.shapes[i].attributes) {
                auto it = got[i].attributes.find(key);
                ASSERT_NE(it, got[i].attributes.end()) << c.what << ": no " << key;
                EXPECT_EQ(it->second, value) << c.what << ": " << key;
            }
            EXPECT_EQ(got[i].text, c.shapes[i].text) << c.what;
        }
    }
}

// After a run: the drawing's own shapes, then a box and the text over it
// for every text, as high as the drawing's table makes it, the trailer's
// attributes drawing nothing.
std::vector<std::string> kinds_of(const Drawing& d) {
    std::vector<std::string> kinds;
    for (const Shape& s : d.shapes)
        kinds.push_back(s.kind == Shape::Kind::line     ? "line"
                        : s.kind == Shape::Kind::circle ? "circle"
                        : s.kind == Shape::Kind::point  ? "point"
                        : s.kind == Shape::Kind::solid  ? "solid"
                                                        : "text");
    return kinds;
}

// The result as the host shows it: with "hq" the selection replaced by the
// output, in file order; without, the output drawn over the drawing; with
// no text to box, the drawing as it was.
TEST(Preview, TheResultIsWhatTheHostShows) {
    const std::string drawing = "hch 1 2 5 4 5 6 7 8 9 10\r\n 0 0 40 0\r\nci 5 5 2\r\n"
                                "cn3\r\nch 10 20 30 0 \"ABC\r\npt 1 1\r\n";
    const std::string no_text = "hq\r\n 0 0 40 0\r\ncv 0 0 0 1 \"V\r\n";
    RunSettings settings;
    settings.shade_index = 3;
    struct Case {
        std::string input;
        std::vector<std::string> kinds;
    } cases[] = {
        {"hq\r\n" + drawing, {"line", "circle", "solid", "text", "point"}},
        {drawing, {"line", "circle", "text", "point", "solid", "text"}},
        {no_text, {"line"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kinds_of(read_result(c.input, settings)), c.kinds) << c.input;

    const Drawing d = read_result("hq\r\n" + drawing, settings);
    ASSERT_EQ(d.shapes.size(), 5u);
    const Shape& box = d.shapes[2];
    EXPECT_EQ(box.colour, "#c0c0c0"); // shade 3
    ASSERT_EQ(box.points.size(), 4u);
    EXPECT_EQ(box.points[0].x, 7.0);  // margin 3 around the text
    EXPECT_EQ(box.points[2].y, 28.0); // 20 + height 5 + margin 3
    EXPECT_EQ(d.shapes[3].height, 5.0);
    EXPECT_EQ(d.shapes[3].text, "ABC");
}

// A textLength of 0 would squeeze a text to nothing where it is honoured:
// a text without a run (or without characters) keeps its natural width.
TEST(Preview, ATextWithoutARunIsNotSqueezedToNothing) {
    for (const char* input : {"ch 0 0 0 0 \"x\r\npt 5 5\r\n", "ch 0 0 10 0 \"\r\n"}) {
        const std::vector<XmlElement> drawn = shapes(picture(input));
        ASSERT_FALSE(drawn.empty()) << input;
        EXPECT_EQ(drawn[0].name, "text") << input;
        EXPECT_EQ(drawn[0].attributes.count("textLength"), 0u) << input;
        EXPECT_NE(drawn[0].attributes.at("transform").find("scale(1.000 1)"), std::string::npos)
            << input;
    }
}

TEST(Preview, PictureIsSizedToTheDrawing) {
    const XmlElement svg = picture(" 0 0 10 0\r\n 0 0 0 5\r\n");
    EXPECT_EQ(svg.name, "svg");
    EXPECT_EQ(svg.attributes.at("width"), "1000");
    EXPECT_EQ(svg.attributes.at("height"), "520");
    EXPECT_EQ(picture("").attributes.at("width"), "1000"); // an empty drawing still is a picture
}

TEST(Preview, ShiftJisThatDoesNotConvertBecomesAReplacementMark) {
    const std::string mark = "\xef\xbf\xbd";
    EXPECT_EQ(shift_jis_to_utf8("abc"), "abc");
    EXPECT_EQ(shift_jis_to_utf8("\x83\x65\x83\x4c"), "\xe3\x83\x86\xe3\x82\xad"); // katakana te ki
    EXPECT_EQ(shift_jis_to_utf8("\xb1"), "\xef\xbd\xb1");                         // half-width a
    EXPECT_EQ(shift_jis_to_utf8("\x81"), mark);                                   // lead byte alone
    EXPECT_EQ(shift_jis_to_utf8("a\x01z"), "a" + mark + "z");                     // a control
    EXPECT_EQ(shift_jis_to_utf8("\x81\x20x"), mark + " x");                       // bad trail byte
}

TEST(Preview, AnyInputGivesWellFormedXml) {
    std::vector<std::string> inputs = {
        "ch nan 0 1 0 \"x\r\n",
        "ch 1e308 1e308 1e308 1e308 \"far\r\n ,0 0 1 1\r\n",
        " inf 0 0 0\r\nci 0 0 -5 10 10\r\npt -nan 1\r\n",
        "ch 0 0 1 0 \"\x01\x02\x7f\x80\xff\xfc\r\n",
        "ch 0 0 1 0 \"]]> &amp; <!-- --> <![CDATA[\r\n",
        "sl 1 2 3\r\nsl\r\nlc10 #zzzzzz\r\nlc99\r\ncn-5\r\nch 0 0 1 1 \"t\r\n",
        std::string("ch 0 0 1 0 \"a\0b\r\n", 17),
    };
    std::mt19937 rng(5);
    const std::string alphabet = " 0123456789.-e\"chlnpstix#\r\n\x81\x95\x01\xff";
    for (int i = 0; i < 300; ++i) {
        std::string s;
        const int n = static_cast<int>(rng() % 400);
        for (int k = 0; k < n; ++k)
            s += alphabet[rng() % alphabet.size()];
        inputs.push_back(s);
    }
    for (const std::string& input : inputs) {
        std::string error;
        EXPECT_TRUE(testing::parse_xml(svg_of(input), error)) << error << " for " << input;
    }
}

TEST(XmlReader, RejectsWhatIsNotWellFormed) {
    for (const char* doc : {"<a>", "<a></b>", "<a x=1/>", "<a>&nbsp;</a>", "<a>\x01</a>",
                            "<a>\xff</a>", "<a/><b/>", "<a x=\"<\"/>", "<a>]]></a>"}) {
        std::string error;
        EXPECT_FALSE(testing::parse_xml(doc, error)) << doc;
    }
    std::string error;
    EXPECT_TRUE(
        testing::parse_xml("<?xml version=\"1.0\"?>\n<a x='1'><b>&amp;&#x41;</b></a>\n", error))
        << error;
}

} // namespace
} // namespace textmatte::preview
