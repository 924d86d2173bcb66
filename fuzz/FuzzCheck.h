// Shared by the fuzz targets: a broken invariant is a crash libFuzzer records.
#pragma once

#include <cstdio>
#include <cstdlib>

// Undefined behaviour stops the run instead of scrolling past in the log.
extern "C" inline const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
