#pragma once

#include <cstdio>
#include <cstdlib>

// A failed oracle aborts, which the fuzzer reports with the input that broke it.
#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                 \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
