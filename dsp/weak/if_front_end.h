// SPDX-License-Identifier: GPL-3.0-or-later
// Front ends of the weak-signal receiver that see the carrier itself: the 12 kHz IF mixed
// down by quarter turns, and I/Q baseband as it comes. Both give a complex baseband with the
// carrier wherever it is; the channel filter then takes the carrier off.
#pragma once

#include <cstdint>

#include "dsp/weak/fir.h"

namespace nimbo::weak {

class IfFrontEnd {
  public:
    // One block of the chosen channel (kBlockSamples values `stride` words apart) into
    // re/im, kBlockSamples each, scaled by kScale.
    void process(const int16_t* samples, int stride, float* re, float* im);
    void reset() { *this = IfFrontEnd(); }
    // Wide enough for a carrier 3 kHz off with its deviation; the mixer's image at 24 kHz
    // falls far outside.
    static constexpr double kCutoffHz = 7500.0;
    static constexpr float kScale = 1.0f / 8000.0f;

  private:
    ComplexLowPass<15> lowPass_{kCutoffHz};
};

// I/Q: left word I, right word Q, scaled by kScale.
class IqFrontEnd {
  public:
    void process(const int16_t* interleaved, float* re, float* im);
    void reset() {}
    static constexpr float kScale = 1.0f / 8000.0f;
};

} // namespace nimbo::weak
