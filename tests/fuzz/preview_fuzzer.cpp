// Fuzzes the preview: any bytes read as a drawing must give a well-formed
// SVG document, all of it valid UTF-8, whatever the texts' bytes are.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "interchange/output.hpp"
#include "preview/drawing.hpp"
#include "preview/svg.hpp"
#include "support/xml.hpp"

using namespace textmatte;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const preview::Drawing drawing = preview::read_drawing(input);
    StringSink svg;
    Output out(svg, LineEnds::lf);
    preview::write_svg(drawing, out);
    out.flush();
    std::string error;
    const auto root = testing::parse_xml(svg.bytes, error);
    check(root.has_value(), "the picture is not well-formed XML");
    check(root->name == "svg", "the picture's root is not svg");
    for (const auto* text : root->all("text"))
        check(text->children.empty(), "a text element holds markup");
    return 0;
}
