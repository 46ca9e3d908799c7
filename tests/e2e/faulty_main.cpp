// textmatte for tests only: its file layer fails the operation numbered by
// TEXTMATTE_FAIL_AT, and it writes "fired" to TEXTMATTE_FAULT_REPORT when
// that operation was reached.
#include <cstdio>
#include <cstdlib>

#include "files/files.hpp"
#include "run/driver.hpp"
#include "support/faulty_fs.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    const char* fail_at = std::getenv("TEXTMATTE_FAIL_AT");
    testing::FaultyFileSystem fs(real_file_system(), fail_at ? std::atol(fail_at) : 0);
    Output console(standard_output(), LineEnds::lf);
    Output errors(standard_error(), LineEnds::lf);
    const RunResult result = run(argc, argv, fs, console, errors, NoInterrupts());
    if (const char* report = std::getenv("TEXTMATTE_FAULT_REPORT"); report && fs.fired()) {
        if (std::FILE* f = std::fopen(report, "w")) {
            std::fputs("fired\n", f);
            std::fclose(f);
        }
    }
    return result.status;
}
