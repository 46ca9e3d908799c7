// Fuzzes the whole in-memory pipeline: drawing bytes in, output bytes out.
// The first four bytes choose the debug level, shade, margin and
// decoration (any value, also ones the options never give).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.hpp"
#include "interchange/attributes.hpp"
#include "interchange/line_reader.hpp"
#include "interchange/scanner.hpp"
#include "pipeline/convert.hpp"
#include "state/state.hpp"

using namespace textmatte;

namespace {

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Splits `bytes` after each CR LF; checks there is no bare LF.
std::size_t count_lines(std::string_view bytes) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        check(i > 0 && bytes[i - 1] == '\r', "a line ends without CR LF");
        ++lines;
    }
    return lines;
}

// What one piece of input may turn into: the three records of a text; "hd"
// for "hq"; nothing; or the piece as read, after an element the colour
// record that sets the input's colour again. A later piece of a long line
// is never a record of its own.
void check_line(const LinePiece& line, bool continues_line, std::string_view produced) {
    const char c0 = line.at(0), c1 = line.at(1);
    std::string copied;
    for (char c : line.bytes())
        copied += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (continues_line) {
        check(produced.empty() || produced == copied, "a later piece of a line changed");
    } else if (c0 == 'c' && c1 == 'h') {
        check(count_lines(produced) == 3, "a text did not give three lines");
        const std::size_t second = produced.find("\r\n") + 2;
        const std::size_t third = produced.find("\r\n", second) + 2;
        check(starts_with(produced, "lc10 #"), "first record of a text is not its colour");
        check(starts_with(produced.substr(second), "sl "),
              "second record of a text is not a solid");
        check(starts_with(produced.substr(third), "ch "), "third record of a text is not the text");
        check(produced.size() >= 2 && produced.substr(produced.size() - 2) == "\r\n",
              "text record does not end its line");
    } else if (c0 == 'h' && c1 == 'q') {
        check(produced == "hd\r\n", "hq not answered with hd");
    } else if (!produced.empty() && produced != copied) {
        check(produced.size() > copied.size() &&
                  produced.substr(produced.size() - copied.size()) == copied &&
                  starts_with(produced, "lc"),
              "a copied line changed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunSettings settings;
    if (size >= 4) {
        settings.debug_level = static_cast<DebugLevel>(data[0] % 7);
        settings.shade_index = static_cast<std::int8_t>(data[1]);
        settings.margin = static_cast<std::int8_t>(data[2]);
        settings.decoration = static_cast<std::int8_t>(data[3]);
        data += 4;
        size -= 4;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Line by line, so each line's output can be checked on its own.
    RunState run;
    run.settings = settings;
    StringSink file_bytes, console_bytes;
    Output file(file_bytes, LineEnds::crlf), console(console_bytes, LineEnds::lf);
    StringSource source(input);
    LineReader reader(source);
    TextBoxes boxes(run.settings, file, console);
    const ScanStreams streams{reader, file, console};
    LinePiece line;
    unsigned lines = 0;
    bool continues_line = false;
    while (lines < kPieceLimit && reader.next(line)) {
        file.flush();
        const std::size_t before = file_bytes.bytes.size();
        dispatch(run, line, streams, boxes);
        file.flush();
        check_line(line, continues_line, std::string_view(file_bytes.bytes).substr(before));
        continues_line = line.bytes().empty() || line.bytes().back() != '\n';
        ++lines;
    }
    const std::size_t body = file_bytes.bytes.size();
    write_trailer(run.attrs, file);
    file.flush();

    // The trailer ends the output and is whole lines of attribute records.
    const std::string_view trailer = std::string_view(file_bytes.bytes).substr(body);
    const std::size_t trailer_lines = count_lines(trailer);
    check(trailer_lines >= 4 && trailer_lines <= 6, "trailer has a wrong number of lines");
    check(trailer.substr(trailer.size() - 2) == "\r\n", "output does not end with CR LF");
    check(trailer.find("lg") != std::string_view::npos, "trailer lacks the layer group");

    // The driver's own path writes the same, plus its end-of-run lines.
    RunState again;
    again.settings = settings;
    StringSink file2, console2;
    Output f2(file2, LineEnds::crlf), c2(console2, LineEnds::lf);
    StringSource source2(input);
    LineReader reader2(source2);
    convert(again, reader2, f2, c2, lines);
    f2.flush();
    c2.flush();
    std::string expected = file_bytes.bytes.substr(0, body);
    if (settings.debug_level == DebugLevel::closing_comments) {
        check(file2.bytes.size() > body, "level 1 lines missing");
        check(file2.bytes.compare(0, body, expected) == 0, "pipeline differs from line by line");
    } else {
        check(file2.bytes == file_bytes.bytes, "pipeline differs from line by line");
    }
    if (settings.debug_level != DebugLevel::text_trace &&
        settings.debug_level != DebugLevel::scan_trace)
        check(console2.bytes.empty(), "trace at a level that has none");
    return 0;
}
