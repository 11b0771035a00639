// SPDX-License-Identifier: GPL-3.0-or-later
// Rates and sizes every stage of the weak-signal receiver shares, derived from the air
// interface: 4800 symbols a second sampled at 48 kHz.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "dsp/sent_frame.h"
#include "dsp/signal.h"

namespace nimbo::weak {

using sent::kSamplesPerSymbol;
using sent::kSymbolRate;
static_assert(kSampleRate % kSymbolRate == 0, "the symbol stages assume whole samples");
inline constexpr double kDeviationHz = 2400.0; // either side of the carrier: half a turn a symbol

// e^{j pi tau} at the middle of each of a symbol's samples (cosine or sine): the conjugate of
// the phase path that falls by half a turn over a symbol, which the symbol correlations use.
inline std::array<float, kSamplesPerSymbol> halfTurn(bool sine) {
    std::array<float, kSamplesPerSymbol> t{};
    for (int i = 0; i < kSamplesPerSymbol; ++i) {
        const double a = std::numbers::pi * (i + 0.5) / kSamplesPerSymbol;
        t[i] = static_cast<float>(sine ? std::sin(a) : std::cos(a));
    }
    return t;
}

// Samples of the previous block kept before each block's baseband, so that a symbol that
// began in the previous block is whole.
inline constexpr int kCarry = 32;
static_assert(kCarry >= 3 * kSamplesPerSymbol);

// One block of baseband as the front ends hand it on: the carrier (as far as it is known)
// taken off, samples at about unit size (FM Det) or at the input's own level (IF, I/Q).
// `freq` is the instantaneous frequency, about +-1 at full deviation, for the symbol clock;
// `clips` counts discriminator clicks (FM Det only). Index kCarry is the block's first sample.
struct Baseband {
    std::array<float, kCarry + kBlockSamples> re{}, im{};
    std::array<float, kBlockSamples> freq{};
    std::array<uint8_t, kCarry + kBlockSamples> clips{};
    // Keeps the last kCarry samples for the next block.
    void carryOver();
};

inline void Baseband::carryOver() {
    for (int i = 0; i < kCarry; ++i) {
        re[i] = re[kBlockSamples + i];
        im[i] = im[kBlockSamples + i];
        clips[i] = clips[kBlockSamples + i];
    }
}

} // namespace nimbo::weak
