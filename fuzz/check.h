// SPDX-License-Identifier: GPL-3.0-or-later
// A failed expectation in a fuzz target: says which, then aborts so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define NIMBO_FUZZ_CHECK(condition)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
