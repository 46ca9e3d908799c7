// textmatte: puts a grey box behind every text of the host's drawing.
#include "run/driver.hpp"
#include "run/files.hpp"

int main(int argc, char* argv[]) {
    using namespace textmatte;
    Output out(standard_output(), LineEnds::lf);
    Output err(standard_error(), LineEnds::lf);
    return run(argc, argv, real_file_system(), out, err);
}
