// textmatte-preview IN.txt OUT.svg: draws an interchange file (as the host
// writes it, or as textmatte rewrites it) as a standalone SVG picture.
#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "preview/drawing.hpp"
#include "preview/svg.hpp"
#include "run/files.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    Output err(standard_error(), LineEnds::lf);
    if (argc != 3) {
        print(err, "usage: textmatte-preview IN.txt OUT.svg\n");
        err.flush();
        return 2;
    }
    FileSystem& fs = real_file_system();
    auto in = fs.open_read(argv[1]);
    if (!in) {
        print(err, "Cannot open file: %s \n", {argv[1]});
        err.flush();
        return 1;
    }
    LineReader reader(*in);
    const preview::Drawing drawing = preview::read_drawing(reader);
    if (reader.failed()) {
        print(err, "Cannot read file: %s \n", {argv[1]});
        err.flush();
        return 1;
    }
    auto out_file = fs.open_write(argv[2]);
    if (!out_file) {
        print(err, "Cannot open file: %s \n", {argv[2]});
        err.flush();
        return 1;
    }
    Output svg(*out_file, LineEnds::lf);
    preview::write_svg(drawing, svg);
    const bool written = svg.flush() && out_file->close();
    if (!written) print(err, "Cannot write file: %s \n", {argv[2]});
    err.flush();
    return written ? 0 : 1;
}
