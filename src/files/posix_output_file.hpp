// The output file on POSIX systems.
#pragma once

#include <memory>

#include "files/files.hpp"

namespace textmatte {

// Takes over an open descriptor of a new file, written from its start.
std::unique_ptr<OutFile> make_posix_output_file(int fd);

} // namespace textmatte
