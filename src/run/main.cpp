// textmatte: puts a filled box (a shade of grey, or the colour the options
// give) behind every text of the host's drawing.
#include <new>

#include "files/files.hpp"
#include "run/driver.hpp"
#include "run/interrupts.hpp"
#include "run/messages.hpp"

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
        // Memory ran out where the run does not catch it: before any file
        // was touched (the console's buffers, the options), or while the
        // run's failure was being noted or said, the drawing as it was and
        // given its name back by the exchange on the way out.
        // The table's line as it stands: no formatting, which could allocate.
        (void)standard_error().write(kOutOfMemory,
                                     sizeof kOutOfMemory - 1); // the status says it too
        return exit_code(status_of(Report::out_of_memory));
    }
}
