// SPDX-License-Identifier: GPL-3.0-or-later
// I/Q to FM-discriminator audio for the standard receiver: the carrier measured in a channel
// wide enough for the carrier search (+-10 kHz) and the deviation, then the phase step per
// sample in a narrow channel turned onto it, as audio (full deviation = kDiscriminatorScale)
// with the carrier's offset taken out.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/signal.h"

namespace nimbo {

class IqDiscriminator {
  public:
    // Audio level per Hz of frequency: 2400 Hz, the sonde's full deviation, reads 8000.
    static constexpr double kDeviationHz = 2400.0;
    // Time constant of the carrier offset taken out of the audio, in seconds: slow beside a
    // 2400 bit/s Manchester signal (which has no DC), quick enough that the audio of a
    // carrier that appears 10 kHz off (33000 levels) is back inside 16 bits within 20 ms.
    static constexpr double kCarrierTimeConstant = 0.05;
    static constexpr int kChannelTaps = 31;

    // One block of interleaved I (left) and Q (right) words to FM Det audio in the left word
    // of `audio` (kBlockWords words; the right word is 0).
    void process(const int16_t* iq, int16_t* audio);
    void reset();

    // The carrier's offset from 0 Hz as last measured, in Hz.
    double carrierHz() const;

  private:
    static constexpr int kHistory = kChannelTaps - 1;
    // Channel filter input: the last kHistory samples of earlier blocks, then this block.
    std::array<float, kHistory + kBlockSamples> i_{}, q_{};
    std::array<float, kBlockSamples> filteredI_{}, filteredQ_{};
    // The narrow channel's input (turned onto the carrier), history first, and its phasor.
    std::array<float, kHistory + kBlockSamples> narrowI_{}, narrowQ_{};
    std::array<float, kBlockSamples> phasorI_{}, phasorQ_{};
    double phase_ = 0.0; // the phasor's angle at the start of the next block, radians
    float narrowLastI_ = 0.0f, narrowLastQ_ = 0.0f;
    std::array<double, kBlockSamples> step_{};     // phase steps as audio levels
    std::array<double, kBlockSamples> carriers_{}; // the carrier at each step
    float lastI_ = 0.0f, lastQ_ = 0.0f;            // the filtered sample before this block
    double carrier_ = 0.0;                         // in audio levels
    bool started_ = false;
};

} // namespace nimbo
