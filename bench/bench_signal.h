// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesised minute of signal every speed measurement works on.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/synth/synth.h"

namespace nimbo::bench {

inline constexpr int kSeconds = 60;

// kSeconds frames of FM Det audio or 12 kHz IF at Eb/N0 20 dB.
inline std::vector<int16_t> benchSignal(bool ifSignal) {
    synth::SynthOptions options;
    options.frames = kSeconds;
    options.ifSignal = ifSignal;
    options.ebN0dB = 20.0;
    return synth::synthesize(options);
}

} // namespace nimbo::bench
