#include "audio/iq_gain.h"

#include <algorithm>
#include <cmath>

#include "dsp/signal.h"

namespace nimbo {
namespace {

// Share of the distance to a new block's power the smoothed power moves per 0.1 s block.
const double kSmoothing =
    1.0 - std::exp(-double(kBlockSamples) / kSampleRate / IqGain::kTimeConstant);

} // namespace

void IqGain::apply(const float* i, const float* q, std::size_t n, int16_t* block) {
    n = std::min(n, static_cast<std::size_t>(kBlockSamples));
    float sum = 0.0f, peak = 0.0f;
    for (std::size_t k = 0; k < n; ++k) {
        sum += i[k] * i[k] + q[k] * q[k];
        peak = std::max(peak, std::max(std::abs(i[k]), std::abs(q[k])));
    }
    const double power = n > 0 ? double(sum) / double(n) : 0.0;
    if (power_ < 0.0) {
        if (power > 0.0) power_ = power; // the first sound sets the level at once
    } else {
        power_ += kSmoothing * (power - power_);
    }
    double target = power_ > 0.0 ? std::min(kTargetRms / std::sqrt(power_), kMaxGain) : 0.0;
    const double ceiling = peak > 0.0f ? double(kPeakLimit) / peak : kMaxGain;
    target = std::min(target, ceiling);
    const double start = std::min(gain_ > 0.0 ? gain_ : target, ceiling);
    const float g0 = static_cast<float>(start);
    const float dg = n > 0 ? static_cast<float>((target - start) / double(n)) : 0.0f;
    for (std::size_t k = 0; k < n; ++k) {
        const float g = g0 + dg * static_cast<float>(k + 1);
        block[2 * k] = static_cast<int16_t>(std::lrint(std::clamp(i[k] * g, -32767.0f, 32767.0f)));
        block[2 * k + 1] =
            static_cast<int16_t>(std::lrint(std::clamp(q[k] * g, -32767.0f, 32767.0f)));
    }
    std::fill(block + 2 * n, block + kBlockWords, int16_t{0});
    gain_ = target;
}

} // namespace nimbo
