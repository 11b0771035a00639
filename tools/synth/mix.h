// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic 64-bit mixing for the synthesiser's filler bytes, drifts and noise: the
// SplitMix64 finaliser, so results are the same on every platform and compiler.
#pragma once

#include <cstdint>
#include <string>

namespace nimbo::synth {

inline uint64_t mix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Mixes several values into one key.
inline uint64_t mixKey(uint64_t a, uint64_t b, uint64_t c = 0) {
    return mix64(mix64(mix64(a) ^ b) ^ c);
}

// A uniform double in [0, 1) from the top 53 bits of a hash.
inline double unitInterval(uint64_t h) {
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

} // namespace nimbo::synth
