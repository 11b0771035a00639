// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol timing of the weak-signal receiver: the instantaneous frequency averaged over a
// symbol, and a Gardner loop on it that tracks where each symbol ends and how long symbols
// last; also the level of the symbols, for the FM Det rebuild.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "dsp/weak/air.h"

namespace nimbo::weak {

class SymbolTiming {
  public:
    // Steps one block of frequency values (kBlockSamples). `locked`: the frame sync holds,
    // so the symbol level is only learned slowly (a fade must not rescale the FM Det phase)
    // and the loop narrows.
    void process(const float* freq, bool locked);
    void reset() { *this = SymbolTiming(nrz_); }
    // NRZ symbols (the RS41): the level is learned only from symbols that follow one of the
    // same sign, whose size does not depend on how often the bits change.
    explicit SymbolTiming(bool nrz = false) : nrz_(nrz) {}

    // The symbols that ended in the last block: the index of each one's last sample, counted
    // from the first sample ever processed.
    std::span<const int64_t> ticks() const { return {ticks_.data(), tickCount_}; }
    int64_t samplesDone() const { return samples_; }
    double period() const { return period_; } // samples per symbol, as tracked
    // Mean size of the symbol-averaged frequency at the ticks, summed over a symbol: about
    // kSymbolMean x kSamplesPerSymbol at full deviation.
    double symbolLevel() const { return symbolLevel_; }
    // 1 at the samples of the last block where a symbol ended (when the clock ticked).
    const std::array<uint8_t, kBlockSamples>& eyeTicks() const { return eyeTicks_; }

    // The mean size of a symbol's averaged frequency per unit of deviation, for Gaussian-
    // filtered (BT 0.5) Manchester symbols: measured 0.67..0.69 from a clean signal down to
    // 9 dB; 0.67 decoded best at 10 dB.
    static constexpr double kSymbolMean = 0.67;
    // The same for NRZ symbols (the RS41) that follow one of the same sign, worked out for
    // random bits: 0.789 of the pulse falls in its own symbol and 0.106 in each neighbour, so
    // 0.789 + 0.106 + 0.106 x (0 on average for the next bit).
    static constexpr double kNrzSymbolMean = 0.895;

  private:
    bool nrz_;
    static constexpr int kChunk = 64; // samples per update of the offset and level
    static constexpr int kKeep = 32;  // symbol sums kept from the previous block
    static constexpr std::size_t kMaxTicks = kBlockSamples / 8; // at the fastest period
    double dc_ = 0.0, level_ = 0.0;
    // Clipped frequency values: the last kSamplesPerSymbol - 1 of the previous block, then
    // this block's.
    std::array<float, kSamplesPerSymbol - 1 + kBlockSamples> clipped_{};
    // Symbol sums: kKeep from the previous block, this block's, and one spare that a tick
    // on the last sample reads with weight 0.
    std::array<float, kKeep + kBlockSamples + 1> sums_{};
    int64_t samples_ = 0;
    double nextTick_ = kSamplesPerSymbol;
    double period_ = kSamplesPerSymbol;
    double lastY_ = 0.0;
    double symbolLevel_ = kSamplesPerSymbol * kSymbolMean;
    std::array<int64_t, kMaxTicks> ticks_{};
    std::size_t tickCount_ = 0;
    std::array<uint8_t, kBlockSamples> eyeTicks_{};
};

} // namespace nimbo::weak
