// textmatte: puts a filled box (a shade of grey, or the colour the options
// give) behind every text of the host's drawing.
#include <new>

#include "files/files.hpp"
#include "run/driver.hpp"
#include "run/interrupts.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    const Interrupts& interrupts = install_interrupt_handlers();
    try {
        Output console(standard_output(), LineEnds::lf);
        Output errors(standard_error(), LineEnds::lf);
        const RunResult result = run(argc, argv, real_file_system(), console, errors, interrupts);
        if (result.interrupted_by) end_by_interrupt(result.interrupted_by);
        return result.status;
    } catch (const std::bad_alloc&) {
        // Not even the console's buffers could be had; no file was touched.
        constexpr char kMessage[] = "Out of memory \n";
        (void)standard_error().write(kMessage, sizeof kMessage - 1); // the status says it too
        return 1;
    }
}
