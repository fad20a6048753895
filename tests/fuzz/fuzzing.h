#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant stops the run with its name, so that libFuzzer keeps the input.
inline void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}
