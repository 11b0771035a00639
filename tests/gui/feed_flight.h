// SPDX-License-Identifier: GPL-3.0-or-later
// A synthesised flight fed to the main window block by block, as the capture would, then
// silence for the filters to deliver the last frame.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/recoding.h"
#include "dsp/signal.h"
#include "tools/synth/synth.h"

namespace nimbo::test {

inline void feedFlight(TForm1& form, const synth::SynthOptions& options, int silenceBlocks = 3) {
    synth::Synthesizer flight(options);
    std::vector<int16_t> block(2 * kBlockSamples);
    while (flight.position() < flight.length()) {
        std::fill(block.begin(), block.end(), int16_t{0});
        flight.generate(block.data(), kBlockSamples);
        form.ProcessWaveBuffer(block.data());
    }
    std::fill(block.begin(), block.end(), int16_t{0});
    for (int i = 0; i < silenceBlocks; ++i)
        form.ProcessWaveBuffer(block.data());
}

} // namespace nimbo::test
