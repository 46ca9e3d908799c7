// Stops a fuzzing run with a message when an invariant of the output breaks.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
