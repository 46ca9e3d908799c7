#include "run/usage.hpp"

#include "interchange/format.hpp"
#include "options/options.hpp"
#include "options/version.hpp"
#include "run/messages.hpp"

namespace textmatte {

void write_usage(Output& console) {
    write<"usage: textmatte [/cN | /c#RRGGBB] [/dN] [/fN] [/tN]\n"
          "\n"
          "Puts a filled box behind every horizontal text of the drawing in jwc_temp.txt\n"
          "in the current folder, and writes the result back to that file. Where the host\n"
          "replaces its selection by the result, everything else selected comes back as\n"
          "it was, and a selection without a horizontal text is said to the host, which\n"
          "then leaves the drawing as it was.\n"
          "\n"
          "Options (- works as /, letters in either case; the last one for a setting wins):\n"
          "  /cN        shade of the box, 0 (lightest, f8f8f8) to 9 (darkest, 666666);\n"
          "             default 5\n"
          "  /c#RRGGBB  any colour, six hexadecimal digits: /c#ffffff is white\n"
          "  /dN        margin around the text in the drawing's units (millimetres on\n"
          "             the sheet with the batch files), 0 to 5; default 3\n"
          "             (a negative N shrinks the box instead)\n"
          "  /fN        decoration in front of the text: 0 none, 1 ^!, 2 ^/, 3 ^_; default 0\n"
          "  /tN        debug level 0 to 6; default 0\n"
          "  /a /b /e /m /n /s /u /w  accepted and ignored (/a shows in the option trace)\n"
          "  Numbers out of range wrap around: /c12 is /c2, /d7 is /d1.\n"
          "  Any other letter is reported as \" illegal Option.\" and the run goes on.\n"
          "\n"
          "Debug levels leave jwc_temp.txt as it was and the result in JWC_TEMP.$$$:\n"
          "  1  two comment lines before the trailer\n"
          "  2  nine lines per text on standard output\n"
          "  3  three lines per line read, the stored header points and the option trace\n"
          "  4 to 6  the option trace only\n"
          "\n">(console);
#if defined(_WIN32)
    write<"Files: jwc_temp.txt is moved to JWC_TEMP.TXT for the run, the result is\n"
          "written to JWC_TEMP.$$$ and, once complete, replaces jwc_temp.txt in one\n"
          "step; JWC_TEMP.LCK keeps other runs out meanwhile.\n"
          "\n">(console);
#else
    write<"Files: the result is written to JWC_TEMP.$$$ and, once complete, replaces\n"
          "jwc_temp.txt in one step; JWC_TEMP.LCK keeps other runs out meanwhile.\n"
          "\n">(console);
#endif
    write<"Exit status:\n"
          "  %d   complete\n"
          "  %d   failed; the run left jwc_temp.txt as it found it\n"
          "  %d  no jwc_temp.txt to read, or JWC_TEMP.$$$ cannot be made\n">(
        console, exit_code(ExitStatus::complete), exit_code(ExitStatus::failed),
        exit_code(ExitStatus::no_drawing));
#if defined(_WIN32)
    write<"  0x%x (%d)  an interrupt (Ctrl-C, a closed window) stopped the run\n">(
        console, kWindowsInterruptedStatus, static_cast<int>(kWindowsInterruptedStatus));
#else
    write<"      (255 in a shell)\n"
          "  %d   the result is in jwc_temp.txt, but the folder could not be synced\n"
          "  an interrupt ends the run by its signal (130 in a shell for Ctrl-C);\n"
          "  a fault, or a signal N that would write a core file, with %d + N\n">(
        console, exit_code(ExitStatus::not_durable), kFaultStatusBase);
#endif
    write<"Each failure is said on standard error, in a line of its own.\n"
          "\n"
          "textmatte --version prints the version; --help or /? this text.\n">(console);
}

void write_version(Output& console) {
    write<"textmatte %s\n">(console, kVersion);
}

} // namespace textmatte
