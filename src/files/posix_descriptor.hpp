// A descriptor closed once, on POSIX systems.
#pragma once

#include <unistd.h>

namespace textmatte {

// Closes a descriptor once and marks it closed; whether the close went well.
inline bool close_descriptor(int& fd) {
    if (fd < 0) return true;
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

} // namespace textmatte
