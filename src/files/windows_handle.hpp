// A handle closed once, on Windows.
#pragma once

#include <windows.h>

namespace textmatte {

// Closes a handle once and marks it closed; whether the close went well.
inline bool close_handle(HANDLE& h) {
    if (h == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(h) != 0;
    h = INVALID_HANDLE_VALUE;
    return ok;
}

} // namespace textmatte
