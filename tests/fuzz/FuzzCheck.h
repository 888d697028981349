#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property of the code under test: report it and abort, which the fuzzing engine
// records as a crash (with the input) and the corpus replay as a failed test.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
