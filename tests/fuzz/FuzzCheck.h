#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: report it and stop, so that the fuzzer
// keeps the input and the replay test fails.
#define FUZZ_CHECK(c)                                                                  \
    ((c) ? void()                                                                      \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c), \
            std::abort()))
