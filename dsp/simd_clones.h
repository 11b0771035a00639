// SPDX-License-Identifier: GPL-3.0-or-later
// Marks a hot loop to be compiled twice: for x86-64 CPUs with AVX2 and FMA, and for
// any x86-64. The program picks the right one at start-up. Elsewhere it does nothing, and
// under AddressSanitizer or ThreadSanitizer too: the clone resolver runs before the
// sanitizer's runtime has started and crashes the program before main.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) &&                             \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define NIMBO_SIMD_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define NIMBO_SIMD_CLONES
#endif
