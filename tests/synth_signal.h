// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesiser's audio rate, and its whole I/Q signal at once, for the nimbo-synth tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tools/synth/synth.h"

namespace nimbo::synth::test {

inline constexpr int kRate = 48000;

// The whole I/Q signal, full scale +-1.
inline std::vector<float> synthesizeIq(const SynthOptions& o) {
    Synthesizer synth(o);
    std::vector<float> iq(static_cast<std::size_t>(2 * synth.length()));
    EXPECT_EQ(synth.generateIq(iq.data(), iq.size()), iq.size() / 2);
    return iq;
}

} // namespace nimbo::synth::test
