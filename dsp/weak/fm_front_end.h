// SPDX-License-Identifier: GPL-3.0-or-later
// FM Det front end of the weak-signal receiver: the discriminator audio summed back into a
// phase, with clicks bounded and counted, and the carrier offset (the mean step) taken off.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/weak/air.h"

namespace nimbo::weak {

class FmFrontEnd {
  public:
    // One block of the chosen channel: kBlockSamples values `stride` words apart. `deviation`
    // is the full deviation in audio units / Receiver::kDiscriminatorScale, as learned from
    // the audio's level. Writes re, im (unit size), freq and clips from index kCarry on.
    void process(const int16_t* samples, int stride, double deviation, Baseband& out);
    // Adds to the turn per sample taken off: the fine carrier loop's correction.
    void retune(double radiansPerSample) { fine_ += radiansPerSample; }
    double offset() const { return offsetStep_ + fine_; } // radians per sample taken off
    void reset() { *this = FmFrontEnd(slowOffset_); }
    // NRZ data (the RS41) is not free of DC: over a short stretch the mean step follows the
    // bits, so its offset is learned over about 0.7 s instead of 43 ms.
    explicit FmFrontEnd(bool slowOffset = false) : slowOffset_(slowOffset) {}

  private:
    static constexpr int kChunk = 64; // samples per update of the offset
    // Each lone click's step is judged from the steps either side, worked out again from the
    // audio as the block's steps were. `clipRadians` is where the audio clips.
    void sizeClicks(const int16_t* samples, int stride, float unitsPerSample, double clipRadians,
                    const uint8_t* clips);
    bool slowOffset_;
    double meanRe_ = 0.0, meanIm_ = 0.0; // mean of e^{j step}
    double offsetStep_ = 0.0;            // its angle
    double fine_ = 0.0;
    uint32_t phase_ = 0; // in 32-bit turns
    std::array<int32_t, kBlockSamples> steps_{};
    std::array<int16_t, 2> lastAudio_{}; // the previous block's last two samples
    // Mean sums of the steps next to and two away from lone clicks (radians, the click's way
    // positive), started where a sharp IF filter puts them.
    double nextMean_ = 0.55, secondMean_ = 0.0;
    std::array<float, kBlockSamples> stepCos_{}, stepSin_{};
};

} // namespace nimbo::weak
