#include "run/usage.hpp"

#include <cstring>

#include "interchange/format.hpp"

#ifndef TEXTMATTE_VERSION
#define TEXTMATTE_VERSION "unknown"
#endif

namespace textmatte {

Request find_request(int argc, const char* const argv[]) {
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "/?") == 0)
            return Request::help;
        if (std::strcmp(argv[i], "--version") == 0) return Request::version;
    }
    return Request::none;
}

void write_usage(Output& console) {
    write<"usage: textmatte [/cN] [/dN] [/fN] [/tN]\n"
          "\n"
          "Puts a filled grey box behind every text of the drawing in jwc_temp.txt in\n"
          "the current directory, and writes the result back to that file.\n"
          "\n"
          "Options (- works as /, letters in either case):\n"
          "  /cN  shade of the box, 0 (lightest, f8f8f8) to 9 (darkest, 666666); default 5\n"
          "  /dN  margin around the text in drawing units, 0 to 5; default 3\n"
          "       (a negative N shrinks the box instead)\n"
          "  /fN  decoration in front of the text: 0 none, 1 ^!, 2 ^/, 3 ^_; default 0\n"
          "  /tN  debug level 0 to 6; default 0\n"
          "  /a /b /e /m /n /s /u /w  accepted and ignored (/a shows in the option trace)\n"
          "  any other letter is reported as \" illegal Option.\" and the run goes on\n"
          "\n"
          "Debug levels leave jwc_temp.txt as it was and the result in JWC_TEMP.$$$:\n"
          "  1  two comment lines before the trailer\n"
          "  2  nine lines per text on standard output\n"
          "  3  three lines per line read, and the option trace\n"
          "  4 to 6  the option trace only\n"
          "\n"
          "Files: jwc_temp.txt is moved to JWC_TEMP.TXT, the result is written to\n"
          "JWC_TEMP.$$$ and, once complete, replaces jwc_temp.txt in one step.\n"
          "\n"
          "Exit status: 0 complete run; 1 a file could not be opened, read, written or\n"
          "renamed, another run holds the directory, or more than 50000 lines;\n"
          "-1 jwc_temp.txt is missing; an interrupt ends the run by its signal.\n"
          "Every failure but the line limit is said on standard error.\n"
          "\n"
          "textmatte --version prints the version; --help or /? this text.\n">(console);
}

void write_version(Output& console) {
    write<"textmatte %s\n">(console, TEXTMATTE_VERSION);
}

} // namespace textmatte
