#include "dsp/weak/symbol_timing.h"

#include <algorithm>
#include <cmath>

namespace nimbo::weak {
namespace {

// Loop gains on the level-normalised Gardner error, and the period's limits: 4700..4900
// symbols a second.
constexpr double kTimingGain = 0.08;
constexpr double kPeriodGain = 0.0008;
constexpr double kMinPeriod = static_cast<double>(kSampleRate) / 4900.0;
constexpr double kMaxPeriod = static_cast<double>(kSampleRate) / 4700.0;
// The symbol level is learned quickly while the receiver looks for frames, slowly once it
// has them.
constexpr double kLevelGainSearching = 0.01, kLevelGainLocked = 1.0 / 4096.0;
// Offset and level of the frequency: means over about 2048 and 4096 samples; clicks beyond
// three times the level are clipped.
constexpr double kDcGain = 1.0 / 2048.0, kLevelGain = 1.0 / 4096.0;
constexpr double kClickLimit = 3.0;

} // namespace

void SymbolTiming::process(const float* freq, bool locked) {
    tickCount_ = 0;
    const double levelGain = locked ? kLevelGainLocked : kLevelGainSearching;
    double eyeScale = kEyeLevel / std::max(symbolLevel_, 1e-9);
    for (int i = 0; i < kBlockSamples; ++i) {
        // The offset and level as they were before this sample, so that it does not wait for
        // their update.
        const double d = freq[i] - dc_, limit = kClickLimit * level_;
        const double v = std::clamp(d, -limit, limit);
        dc_ += d * kDcGain;
        level_ += (std::abs(d) - level_) * kLevelGain;
        boxSum_ += v - box_[boxPos_];
        box_[boxPos_] = v;
        boxPos_ = boxPos_ == kSamplesPerSymbol - 1 ? 0 : boxPos_ + 1;
        const int64_t n = samples_++;
        yHist_[n & (kHistory - 1)] = boxSum_;
        eye_[i] = eyeScale * boxSum_;
        eyeTicks_[i] = 0;
        while (nextTick_ <= static_cast<double>(n)) {
            const auto at = [&](double t) {
                const double fl = std::floor(t);
                const auto k = static_cast<int64_t>(fl);
                const double a = yHist_[k & (kHistory - 1)], b = yHist_[(k + 1) & (kHistory - 1)];
                return a + (t - fl) * (b - a);
            };
            const double y = at(nextTick_);
            const double mid = at(nextTick_ - 0.5 * period_);
            symbolLevel_ += (std::abs(y) - symbolLevel_) * levelGain;
            eyeScale = kEyeLevel / std::max(symbolLevel_, 1e-9);
            const double norm = std::max(symbolLevel_ * symbolLevel_, 1e-9);
            const double e = std::clamp(mid * (y - lastY_) / norm, -1.0, 1.0);
            lastY_ = y;
            period_ = std::clamp(period_ - kPeriodGain * e, kMinPeriod, kMaxPeriod);
            const auto last = static_cast<int64_t>(std::floor(nextTick_));
            nextTick_ += period_ - kTimingGain * e;
            eyeTicks_[i] = 1;
            if (tickCount_ < kMaxTicks) ticks_[tickCount_++] = last;
        }
    }
}

} // namespace nimbo::weak
