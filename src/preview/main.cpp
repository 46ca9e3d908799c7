// textmatte-preview: draws an interchange file as a standalone SVG picture.
//
//   textmatte-preview IN.txt OUT.svg             the drawing as it is
//   textmatte-preview --result IN.txt OUT.svg [/cN /dN /fN]
//                                                the drawing as the host shows
//                                                it after a textmatte run with
//                                                these options
//
// OUT.svg of - writes the picture to standard output; --help prints the
// usage, --version the version.
#include <cstring>
#include <string>
#include <vector>

#include "files/files.hpp"
#include "interchange/byte_buffer.hpp"
#include "interchange/format.hpp"
#include "options/options.hpp"
#include "options/version.hpp"
#include "preview/drawing.hpp"
#include "preview/svg.hpp"
#include "state/state.hpp"

namespace {

using namespace textmatte;

struct Arguments {
    bool result = false;
    std::vector<const char*> files; // IN and OUT
    RunSettings settings;
};

// The first two arguments (after --result) are the files; with --result,
// the ones after them are textmatte's options, of which shade or colour,
// margin and decoration change the picture. (A file name may begin with /
// or -.)
bool parse(int argc, char* argv[], Arguments& a, Output& errors) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--result") == 0 && a.files.empty() && !a.result) {
            a.result = true;
        } else if (a.files.size() < 2) {
            a.files.push_back(arg);
        } else if (a.result && (arg[0] == '/' || arg[0] == '-')) {
            // The option trace is the program's, not the picture's.
            if (apply_option(arg, a.settings).illegal) write_illegal_option(errors);
        } else {
            return false;
        }
    }
    return a.files.size() == 2;
}

// The whole of an open file; false when it cannot be read.
bool read_all(InFile& in, std::string& bytes) {
    std::vector<char> block(kFileBlock);
    for (long got; (got = in.read(block.data(), block.size())) != 0;) {
        if (got < 0) return false;
        bytes.append(block.data(), static_cast<std::size_t>(got));
    }
    return in.close();
}

void write_preview_usage(Output& console) {
    write<"usage: textmatte-preview IN.txt OUT.svg\n"
          "       textmatte-preview --result IN.txt OUT.svg [/cN /dN /fN]\n"
          "\n"
          "Draws an interchange file as a standalone SVG picture: its lines, circles,\n"
          "arcs, points, solids and texts.\n"
          "\n"
          "  IN.txt    the interchange file, such as the jwc_temp.txt a CAD program\n"
          "            writes for textmatte; it is only read\n"
          "  OUT.svg   the SVG picture to write (replaced if it exists);\n"
          "            - writes it to standard output\n"
          "  --result  before the files: draw the drawing as the CAD program shows it\n"
          "            after a textmatte run, every text over its box, computed\n"
          "            in memory by textmatte's own code\n"
          "  /cN /c#RRGGBB /dN /fN\n"
          "            after the files, with --result: textmatte's shade or colour,\n"
          "            margin and decoration of the boxes (see textmatte --help); its\n"
          "            other options change nothing in the picture\n"
          "\n"
          "textmatte-preview --version prints the version; --help or /? this text.\n">(console);
}

// --help or --version, which print on standard output and touch no file.
int answer(Request request) {
    Output console(standard_output(), LineEnds::lf);
    if (request == Request::help)
        write_preview_usage(console);
    else
        write<"textmatte-preview %s\n">(console, kVersion);
    return console.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const Request request = find_request(argc, argv); request != Request::none)
        return answer(request);
    Output errors(standard_error(), LineEnds::lf);
    auto fail = [&errors](const char* what, const char* name) {
        write<"Cannot %s file: %s \n">(errors, what, name);
        errors.flush();
        return 1;
    };
    Arguments args;
    if (!parse(argc, argv, args, errors)) {
        write<"usage: textmatte-preview IN.txt OUT.svg\n"
              "       textmatte-preview --result IN.txt OUT.svg [/cN /dN /fN]\n"
              "textmatte-preview --help says more.\n">(errors);
        errors.flush();
        return 2;
    }
    const char* in_name = args.files[0];
    const char* out_name = args.files[1];
    FileSystem& fs = real_file_system();
    OpenedFile in = fs.open_read(in_name);
    if (!in.file) return fail("open", in_name);
    std::string input;
    if (!read_all(*in.file, input)) return fail("read", in_name);
    const preview::Drawing drawing =
        args.result ? preview::read_result(input, args.settings) : preview::read_drawing(input);
    if (drawing.records == 0)
        write<"Nothing to draw in file: %s (no record of a drawing in it) \n">(errors, in_name);

    if (std::strcmp(out_name, "-") == 0) {
        Output svg(standard_output(), LineEnds::lf, kFileBlock);
        preview::write_svg(drawing, svg);
        if (!svg.flush()) return fail("write", "(standard output)");
    } else {
        (void)fs.remove_name(out_name); // the picture is made new; none there is fine
        auto out_file = fs.create_new(out_name).file;
        if (!out_file) return fail("open", out_name);
        Output svg(*out_file, LineEnds::lf, kFileBlock);
        preview::write_svg(drawing, svg);
        if (!svg.flush() || !out_file->close()) return fail("write", out_name);
    }
    errors.flush();
    return 0;
}
