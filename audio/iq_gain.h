// SPDX-License-Identifier: GPL-3.0-or-later
// The level of 48 kHz complex baseband brought to the 16-bit blocks: a slow automatic gain,
// as an SDR's level is unknown (+-127 counts from a dongle, +-1 in a float file).
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbo {

class IqGain {
  public:
    // Root mean square of |I + jQ| the gain aims for, in 16-bit counts; a constant-envelope
    // signal then peaks at 4000 and noise at about 15000, far from clipping.
    static constexpr double kTargetRms = 4000.0;
    // Time constant, in seconds, with which the gain in dB follows the level in dB: a level
    // 20 dB lower is made up to within 1 dB in 3 s.
    static constexpr double kTimeConstant = 1.0;
    // No louder than this (full scale 1 to counts): a near-silent file is not raised into
    // its rounding noise.
    static constexpr double kMaxGain = 1.0e9;
    // Peaks are kept below this many counts.
    static constexpr float kPeakLimit = 30000.0f;

    // Scales n <= kBlockSamples samples into one block of interleaved 16-bit words (I left, Q
    // right); the rest of the block is silence. The gain moves in a straight line across the
    // block from where the last block left it, never by steps, except that a block whose peak
    // would clip starts lower at once.
    void apply(const float* i, const float* q, std::size_t n, int16_t* block);

    double gain() const { return gain_; }
    void reset() { *this = IqGain(); }

  private:
    double levelDb_ = 0.0; // smoothed 10 log10 of mean |z|^2 at full scale 1
    bool heard_ = false;   // a block with any sound has come
    double gain_ = 0.0;
};

} // namespace nimbo
