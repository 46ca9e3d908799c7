// The output file on Windows.
#pragma once

#include <memory>

#include <windows.h>

#include "files/files.hpp"

namespace textmatte {

// Takes over an open handle of a new file, written from its start.
std::unique_ptr<OutFile> make_windows_output_file(HANDLE h);

} // namespace textmatte
