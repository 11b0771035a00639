// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/iq_gain.h"

#include <algorithm>
#include <cmath>

#include "dsp/signal.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

// Share of the distance to a new block's level the smoothed level moves per 0.1 s block.
const double kSmoothing =
    1.0 - std::exp(-double(kBlockSamples) / kSampleRate / IqGain::kTimeConstant);

// Rounds to the nearest 16-bit value (halves away from 0) without a branch or a library
// call, so that the loop vectorises.
inline int16_t roundedSample(float x) {
    const float v = std::clamp(x, -32767.0f, 32767.0f);
    return static_cast<int16_t>(static_cast<int>(v + std::copysign(0.5f, v)));
}

// Each sample times a gain that moves in a straight line from g0 by dg per sample.
NIMBO_SIMD_CLONES void scale(const float* __restrict i, const float* __restrict q, int n, float g0,
                             float dg, int16_t* __restrict block) {
    for (int k = 0; k < n; ++k) {
        const float g = g0 + dg * static_cast<float>(k + 1);
        block[2 * k] = roundedSample(i[k] * g);
        block[2 * k + 1] = roundedSample(q[k] * g);
    }
}

// Sum of |z|^2 and the largest |I| or |Q|.
NIMBO_SIMD_CLONES void measure(const float* __restrict i, const float* __restrict q, std::size_t n,
                               float& sum, float& peak) {
    float s = 0.0f, m = 0.0f;
    for (std::size_t k = 0; k < n; ++k) {
        s += i[k] * i[k] + q[k] * q[k];
        m = std::max(m, std::max(std::abs(i[k]), std::abs(q[k])));
    }
    sum = s;
    peak = m;
}

} // namespace

void IqGain::apply(const float* i, const float* q, std::size_t n, int16_t* block) {
    n = std::min(n, static_cast<std::size_t>(kBlockSamples));
    float sum = 0.0f, peak = 0.0f;
    measure(i, q, n, sum, peak);
    const double power = n > 0 ? double(sum) / double(n) : 0.0;
    if (power > 0.0) { // silence says nothing about the level
        const double db = 10.0 * std::log10(power);
        levelDb_ = heard_ ? levelDb_ + kSmoothing * (db - levelDb_) : db; // first sound: at once
        heard_ = true;
    }
    double target =
        heard_ ? std::min(kTargetRms * std::pow(10.0, -levelDb_ / 20.0), kMaxGain) : 0.0;
    const double ceiling = peak > 0.0f ? double(kPeakLimit) / peak : kMaxGain;
    target = std::min(target, ceiling);
    const double start = std::min(gain_ > 0.0 ? gain_ : target, ceiling);
    const float dg = n > 0 ? static_cast<float>((target - start) / double(n)) : 0.0f;
    scale(i, q, static_cast<int>(n), static_cast<float>(start), dg, block);
    std::fill(block + 2 * n, block + kBlockWords, int16_t{0});
    gain_ = target;
}

} // namespace nimbo
