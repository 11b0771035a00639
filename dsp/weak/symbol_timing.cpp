// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/symbol_timing.h"

#include <algorithm>
#include <cmath>

#include "dsp/simd_clones.h"
#include "dsp/weak/lanes.h"

namespace nimbo::weak {
namespace {

// Loop gains on the level-normalised Gardner error, and the period's limits: 4700..4900
// symbols a second. While the frame sync holds, the loop narrows (the period's gain with
// the square of the timing's, keeping the damping) so that noise moves the clock less.
constexpr double kTimingGain = 0.08, kLockedTimingGain = 0.04;
constexpr double kPeriodGain = 0.0008, kLockedPeriodGain = 0.0002;
constexpr double kMinPeriod = static_cast<double>(kSampleRate) / 4900.0;
constexpr double kMaxPeriod = static_cast<double>(kSampleRate) / 4700.0;
// The symbol level is learned quickly while the receiver looks for frames, slowly once it
// has them.
constexpr double kLevelGainSearching = 0.01, kLevelGainLocked = 1.0 / 4096.0;
// Offset and level of the frequency: means over about 2048 and 4096 samples, moved on once
// a chunk; clicks beyond three times the level are clipped.
constexpr double kDcGain = 1.0 / 2048.0, kLevelGain = 1.0 / 4096.0;
constexpr float kClickLimit = 3.0f;

// A running mean's step over n samples at once: the old mean decays by (1 - g)^n and sample
// k of n adds g (1 - g)^(n - 1 - k).
template <int N> struct ChunkMean {
    explicit ChunkMean(double gain) : decay(std::pow(1.0 - gain, N)) {
        for (int k = 0; k < N; ++k)
            weights[k] = static_cast<float>(gain * std::pow(1.0 - gain, N - 1 - k));
    }
    double decay;
    std::array<float, N> weights{};
};

// Clips a chunk of frequency values about `dc` and sums the chunk's values and sizes for
// the means; n is a multiple of kLanes.
NIMBO_SIMD_CLONES
void clipChunk(const float* f, float dc, float limit, const float* dcWeights,
               const float* levelWeights, int n, float* out, float& dcSum, float& levelSum) {
    for (int k = 0; k < n; ++k)
        out[k] = std::clamp(f[k] - dc, -limit, limit);
    Float8 ds{}, ls{}, x, wd, wl;
    for (int k = 0; k < n; k += kLanes) {
        load8(x, f + k);
        load8(wd, dcWeights + k);
        load8(wl, levelWeights + k);
        const Float8 d = x - dc;
        ds += wd * x;
        ls += wl * (d < 0.0f ? -d : d);
    }
    dcSum = laneSum(ds);
    levelSum = laneSum(ls);
}

// sums[i] = in[i] + ... + in[i + kSamplesPerSymbol - 1]: each symbol's sum ending at i.
NIMBO_SIMD_CLONES
void symbolSums(const float* in, float* sums, int n) {
    for (int i = 0; i < n; ++i) {
        float s = 0.0f;
        for (int j = 0; j < kSamplesPerSymbol; ++j)
            s += in[i + j];
        sums[i] = s;
    }
}

} // namespace

void SymbolTiming::process(const float* freq, bool locked) {
    static const ChunkMean<kChunk> dcMean(kDcGain), levelMean(kLevelGain);
    float* clipped = clipped_.data() + (kSamplesPerSymbol - 1);
    static_assert(kBlockSamples % kChunk == 0);
    for (int c = 0; c < kBlockSamples; c += kChunk) {
        float dcSum = 0.0f, levelSum = 0.0f;
        clipChunk(freq + c, static_cast<float>(dc_), kClickLimit * static_cast<float>(level_),
                  dcMean.weights.data(), levelMean.weights.data(), kChunk, clipped + c, dcSum,
                  levelSum);
        dc_ = dc_ * dcMean.decay + dcSum;
        level_ = level_ * levelMean.decay + levelSum;
    }
    float* sums = sums_.data() + kKeep;
    symbolSums(clipped_.data(), sums, kBlockSamples);
    sums[kBlockSamples] = sums[kBlockSamples - 1]; // read with weight 0 only

    // The Gardner loop, once a symbol: y at the tick, mid half a period before.
    const int64_t first = samples_;
    samples_ += kBlockSamples;
    tickCount_ = 0;
    eyeTicks_.fill(0);
    const double levelGain = locked ? kLevelGainLocked : kLevelGainSearching;
    const double timingGain = locked ? kLockedTimingGain : kTimingGain;
    const double periodGain = locked ? kLockedPeriodGain : kPeriodGain;
    const auto at = [&](double t) {
        const double local = t - static_cast<double>(first);
        const double fl = std::floor(local);
        const auto k = static_cast<int>(fl);
        const double a = sums[k], b = sums[k + 1];
        return a + (local - fl) * (b - a);
    };
    // The error is normalised by the level before this symbol: the division then runs beside
    // the interpolation instead of after it, on the loop's critical path.
    double inverseNorm = 1.0 / std::max(symbolLevel_ * symbolLevel_, 1e-9);
    while (nextTick_ <= static_cast<double>(samples_ - 1)) {
        const double y = at(nextTick_);
        const double mid = at(nextTick_ - 0.5 * period_);
        const double e = std::clamp(mid * (y - lastY_) * inverseNorm, -1.0, 1.0);
        if (!nrz_ || y * lastY_ > 0.0) symbolLevel_ += (std::abs(y) - symbolLevel_) * levelGain;
        inverseNorm = 1.0 / std::max(symbolLevel_ * symbolLevel_, 1e-9);
        lastY_ = y;
        period_ = std::clamp(period_ - periodGain * e, kMinPeriod, kMaxPeriod);
        const auto last = static_cast<int64_t>(std::floor(nextTick_));
        eyeTicks_[static_cast<std::size_t>(std::ceil(nextTick_) - static_cast<double>(first))] = 1;
        nextTick_ += period_ - timingGain * e;
        if (tickCount_ < kMaxTicks) ticks_[tickCount_++] = last;
    }

    // Keep what the next block's first symbols reach back to.
    std::copy_n(clipped_.end() - (kSamplesPerSymbol - 1), kSamplesPerSymbol - 1, clipped_.begin());
    std::copy_n(sums + kBlockSamples - kKeep, kKeep, sums_.begin());
}

} // namespace nimbo::weak
