// Symbol timing of the weak-signal receiver: the instantaneous frequency averaged over a
// symbol, and a Gardner loop on it that tracks where each symbol ends and how long symbols
// last; also the level of the symbols (for the FM Det rebuild) and the scope's eye.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "dsp/weak/air.h"

namespace nimbo::weak {

class SymbolTiming {
  public:
    // Steps one block of frequency values (kBlockSamples). `locked`: the frame sync holds,
    // so the symbol level is only learned slowly (a fade must not rescale the FM Det phase).
    void process(const float* freq, bool locked);
    void reset() { *this = SymbolTiming(); }

    // The symbols that ended in the last block: the index of each one's last sample, counted
    // from the first sample ever processed.
    std::span<const int64_t> ticks() const { return {ticks_.data(), tickCount_}; }
    int64_t samplesDone() const { return samples_; }
    double period() const { return period_; } // samples per symbol, as tracked
    // Mean size of the symbol-averaged frequency at the ticks, summed over a symbol: about
    // kSymbolMean x kSamplesPerSymbol at full deviation.
    double symbolLevel() const { return symbolLevel_; }

    // The mean size of a symbol's averaged frequency per unit of deviation, for Gaussian-
    // filtered (BT 0.5) Manchester symbols: measured 0.67..0.69 from a clean signal down to
    // 9 dB; 0.67 decoded best at 10 dB.
    static constexpr double kSymbolMean = 0.67;

    // The symbol-averaged frequency of the last block, scaled so that a symbol's centre sits
    // about kEyeLevel from zero, and 1 where a symbol ended.
    static constexpr double kEyeLevel = 2000.0;
    const std::array<double, kBlockSamples>& eye() const { return eye_; }
    const std::array<uint8_t, kBlockSamples>& eyeTicks() const { return eyeTicks_; }

  private:
    static constexpr int kHistory = 32;
    static constexpr std::size_t kMaxTicks = kBlockSamples / 8; // at the fastest period
    double dc_ = 0.0, level_ = 0.0;
    std::array<double, kSamplesPerSymbol> box_{};
    int boxPos_ = 0;
    double boxSum_ = 0.0;
    std::array<double, kHistory> yHist_{};
    int64_t samples_ = 0;
    double nextTick_ = kSamplesPerSymbol;
    double period_ = kSamplesPerSymbol;
    double lastY_ = 0.0;
    double symbolLevel_ = kSamplesPerSymbol * kSymbolMean;
    std::array<int64_t, kMaxTicks> ticks_{};
    std::size_t tickCount_ = 0;
    std::array<double, kBlockSamples> eye_{};
    std::array<uint8_t, kBlockSamples> eyeTicks_{};
};

} // namespace nimbo::weak
