// textmatte-preview IN.txt OUT.svg: draws an interchange file (as the host
// writes it, or as textmatte rewrites it) as a standalone SVG picture.
#include "files/files.hpp"
#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "preview/drawing.hpp"
#include "preview/svg.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    Output errors(standard_error(), LineEnds::lf);
    auto fail = [&errors](const char* what, const char* name) {
        write<"Cannot %s file: %s \n">(errors, what, name);
        errors.flush();
        return 1;
    };
    if (argc != 3) {
        write<"usage: textmatte-preview IN.txt OUT.svg\n">(errors);
        errors.flush();
        return 2;
    }
    FileSystem& fs = real_file_system();
    auto in = fs.open_read(argv[1]);
    if (!in) return fail("open", argv[1]);
    LineReader reader(*in);
    const preview::Drawing drawing = preview::read_drawing(reader);
    if (reader.failed()) return fail("read", argv[1]);
    fs.remove_name(argv[2]);
    auto out_file = fs.create_new(argv[2]);
    if (!out_file) return fail("open", argv[2]);
    Output svg(*out_file, LineEnds::lf);
    preview::write_svg(drawing, svg);
    if (!svg.flush() || !out_file->close()) return fail("write", argv[2]);
    return 0;
}
