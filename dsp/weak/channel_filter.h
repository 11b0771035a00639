// SPDX-License-Identifier: GPL-3.0-or-later
// The channel of the weak-signal receiver on the IF and I/Q paths: the carrier, where the
// acquisition and the fine loop put it, mixed to 0 Hz, the rest low-passed away, and the
// instantaneous frequency for the symbol clock.
#pragma once

#include <array>

#include "dsp/weak/air.h"
#include "dsp/weak/fir.h"

namespace nimbo::weak {

class ChannelFilter {
  public:
    // Takes kBlockSamples samples of re/im to `out` (from index kCarry; freq too).
    void process(const float* re, const float* im, Baseband& out);
    // The carrier's place in the input, radians per sample; taken off from the next block.
    void tune(double radiansPerSample);
    void retune(double radiansPerSample) { tune(offset_ + radiansPerSample); }
    double offset() const { return offset_; }
    void reset() { *this = ChannelFilter(); }

    // The signal's own width: deviation and the Gaussian pulses' spread, with room for the
    // fine loop's residual offset.
    static constexpr double kCutoffHz = 4500.0;

  private:
    static constexpr int kChunk = 64; // oscillator values worked out per chunk of samples
    double offset_ = 0.0;
    double phaseRe_ = 1.0, phaseIm_ = 0.0; // oscillator at the start of the next chunk
    std::array<float, kChunk> turnRe_{}, turnIm_{}; // e^{-j k offset}, k = 0..kChunk-1
    double chunkRe_ = 1.0, chunkIm_ = 0.0;           // e^{-j kChunk offset}
    bool tablesValid_ = false;
    ComplexLowPass<15> lowPass_{kCutoffHz};
    float lastRe_ = 0.0f, lastIm_ = 0.0f; // the previous output, for the frequency
};

} // namespace nimbo::weak
