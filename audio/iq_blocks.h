// SPDX-License-Identifier: GPL-3.0-or-later
// The common back end of the I/Q sources: samples at the input's rate, shifted, decimated
// to 48 kHz, levelled and cut into 0.1 s blocks of 16-bit I (left) and Q (right).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "audio/audio_input.h"
#include "audio/iq_decimator.h"
#include "audio/iq_gain.h"

namespace nimbo {

class IqBlockSource : public BlockSource {
  public:
    IqBlockSource(int rate, double offsetHz);

    bool next(int16_t* block) final;
    std::string error() const override { return error_; }

  protected:
    // The source's half: writes up to n samples to i and q (full scale 1, finite) and
    // returns how many; fewer than asked only at the end of the input. May set error_.
    virtual std::size_t read(float* i, float* q, std::size_t n) = 0;

    std::string error_;

  private:
    IqDecimator decimator_;
    IqGain gain_;
    bool ended_ = false;
    std::size_t pending_ = 0; // 48 kHz samples waiting in outI_/outQ_
    std::unique_ptr<float[]> outI_, outQ_;
};

// An input sample that is not a finite number becomes 0; huge ones are held to +-1e6 full
// scales, so that the level measured from them stays a finite number.
inline float cleanIqSample(float x) {
    constexpr float kLimit = 1.0e6f;
    return x == x ? (x > kLimit ? kLimit : x < -kLimit ? -kLimit : x) : 0.0f;
}

} // namespace nimbo
