// SPDX-License-Identifier: GPL-3.0-or-later
// The fine carrier loop of the weak-signal receiver: the turn of the carrier from one bit to
// the next, measured on the bits' carrier terms, steers a correction that the symbols are
// turned back by until the front end takes it over at the end of the block.
#pragma once

#include <complex>
#include <cstdint>

#include "dsp/weak/trig.h"

namespace nimbo::weak {

class CarrierLoop {
  public:
    // Turns a symbol's correlations back by the correction's phase; `samples` since the
    // previous symbol.
    std::complex<float> derotate(std::complex<float> z) const {
        return {static_cast<float>(z.real() * back_.re - z.imag() * back_.im),
                static_cast<float>(z.real() * back_.im + z.imag() * back_.re)};
    }
    void advance(int samples);
    // The carrier term of the newest bit and of the bit before it (two symbols apart). Inline
    // and on plain floats: it runs for every symbol.
    void measure(std::complex<float> now, std::complex<float> earlier) {
        const float nr = now.real(), ni = now.imag(), er = earlier.real(), ei = earlier.imag();
        turnRe_ += (nr * er + ni * ei - turnRe_) * kTurnGain;
        turnIm_ += (ni * er - nr * ei - turnIm_) * kTurnGain;
        if (turnRe_ == 0.0f && turnIm_ == 0.0f) return;
        steer(quickAngle({turnRe_, turnIm_}));
    }
    // The part of the correction the front end has not yet taken over (radians per sample);
    // handed over, it is the front end's to take off from then on.
    double handOver();
    double correction() const { return total_; } // all of it since the last reset
    void reset() { *this = CarrierLoop(); }

    // Limit of the correction: the bit-to-bit turn is unambiguous to 1200 Hz.
    static constexpr double kMaxHz = 1000.0;

  private:
    static constexpr float kTurnGain = 1.0f / 64.0f;
    void steer(float bitTurn);            // radians from one bit to the next
    float turnRe_ = 0.0f, turnIm_ = 0.0f; // mean bit-to-bit product
    double step_ = 0.0;                   // radians per sample not yet handed over
    double total_ = 0.0;                  // radians per sample, handed over or not
    Phasor back_;                         // e^{-j phase} of the correction so far
};

} // namespace nimbo::weak
