// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-signal receiver's eye for the scope. Each sample shows the symbol that ended just
// before it correlated with the rising and the falling half-turn, as the decisions see it,
// taken coherently against a carrier learned from the symbols: a clean signal gives two
// crisp bands, noise and clicks blur them as they cost the decoder. Its level is the
// signal's own, so noise spreads the traces instead of filling the picture, and only one
// trace in kTraceStep is drawn, so that a noisy eye is a haze with its openings rather than
// a white field.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "dsp/weak/air.h"

namespace nimbo::weak {

class Eye {
  public:
    // One block: its baseband (kBlockSamples of re and im from its first sample) and 1 where
    // a symbol ended (the sample after the symbol's last).
    void process(const float* re, const float* im, const uint8_t* ticks);
    void reset() { *this = Eye(); }

    // A clean symbol sits at +-kLevel at its tick; the sign is that of its Manchester bit,
    // up to one sign for the whole eye.
    static constexpr double kLevel = 2400.0;
    // The scope starts a trace at every kTicksPerTrace-th tick of a block. One trace in
    // kTraceStep is kept, the others are NaN; an odd step keeps both bit phases in view.
    static constexpr int kTicksPerTrace = 3;
    static constexpr int kTraceStep = 7;

    const std::array<double, kBlockSamples>& signal() const { return signal_; }
    const std::array<uint8_t, kBlockSamples>& ticks() const { return ticks_; }

  private:
    void track(std::complex<double> square);

    static constexpr int kTail = kSamplesPerSymbol; // samples kept from the previous block
    std::array<float, kTail + kBlockSamples> re_{}, im_{};
    std::array<double, kBlockSamples> signal_{};
    std::array<uint8_t, kBlockSamples> ticks_{};
    double level_ = 0.0; // mean power per sample; 0 before the first
    std::complex<double> square_{}, lastSquare_{}, turn_{};
    std::complex<double> carrier_{1.0, 0.0}; // unit phasor, up to its sign
};

} // namespace nimbo::weak
