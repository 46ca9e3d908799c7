// textmatte: puts a grey box behind every text of the host's drawing.
#include "files/files.hpp"
#include "run/driver.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    Output console(standard_output(), LineEnds::lf);
    Output errors(standard_error(), LineEnds::lf);
    return run(argc, argv, real_file_system(), console, errors);
}
