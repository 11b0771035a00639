// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/channel_filter.h"

#include <cmath>
#include <numbers>

#include "dsp/simd_clones.h"

namespace nimbo::weak {
namespace {

// Sine of the full deviation's step per sample: the cross product of neighbouring unit
// samples at full deviation, scaled to 1.
const double kStepScale = 1.0 / std::sin(std::numbers::pi / kSamplesPerSymbol);

// Mixes kChunk samples by the oscillator (p = its value at the chunk's start, turn[k] its
// turn k samples on).
NIMBO_SIMD_CLONES
void mixChunk(const float* re, const float* im, float pr, float pi, const float* turnRe,
              const float* turnIm, float* outRe, float* outIm, int n) {
    for (int k = 0; k < n; ++k) {
        const float tr = pr * turnRe[k] - pi * turnIm[k];
        const float ti = pr * turnIm[k] + pi * turnRe[k];
        outRe[k] = re[k] * tr - im[k] * ti;
        outIm[k] = re[k] * ti + im[k] * tr;
    }
}

// The frequency from the cross product of neighbouring samples (bounded in clicks); the
// sample before the first is (pr, pi).
NIMBO_SIMD_CLONES
void frequencyBlock(const float* zr, const float* zi, float pr, float pi, float scale, float* freq,
                    int n) {
    freq[0] = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float r0 = i == 0 ? pr : zr[i - 1], i0 = i == 0 ? pi : zi[i - 1];
        const float cross = zi[i] * r0 - zr[i] * i0;
        const float power = zr[i] * zr[i] + zi[i] * zi[i] + r0 * r0 + i0 * i0;
        freq[i] = power > 0.0f ? scale * cross / power : 0.0f;
    }
}

} // namespace

void ChannelFilter::tune(double radiansPerSample) {
    if (radiansPerSample == offset_ && tablesValid_) return;
    offset_ = radiansPerSample;
    for (int k = 0; k < kChunk; ++k) {
        turnRe_[k] = static_cast<float>(std::cos(-offset_ * k));
        turnIm_[k] = static_cast<float>(std::sin(-offset_ * k));
    }
    chunkRe_ = std::cos(-offset_ * kChunk);
    chunkIm_ = std::sin(-offset_ * kChunk);
    tablesValid_ = true;
}

void ChannelFilter::process(const float* re, const float* im, Baseband& out) {
    if (!tablesValid_) tune(offset_);
    float* r = lowPass_.inRe();
    float* m = lowPass_.inIm();
    static_assert(kBlockSamples % kChunk == 0);
    for (int c = 0; c < kBlockSamples; c += kChunk) {
        mixChunk(re + c, im + c, static_cast<float>(phaseRe_), static_cast<float>(phaseIm_),
                 turnRe_.data(), turnIm_.data(), r + c, m + c, kChunk);
        const double nr = phaseRe_ * chunkRe_ - phaseIm_ * chunkIm_;
        const double ni = phaseRe_ * chunkIm_ + phaseIm_ * chunkRe_;
        const double fix = 1.5 - 0.5 * (nr * nr + ni * ni);
        phaseRe_ = nr * fix;
        phaseIm_ = ni * fix;
    }
    float* zr = out.re.data() + kCarry;
    float* zi = out.im.data() + kCarry;
    lowPass_.run(zr, zi);
    // The frequency from the cross product of neighbouring samples (bounded in clicks).
    frequencyBlock(zr, zi, lastRe_, lastIm_, static_cast<float>(2.0 * kStepScale),
                   out.freq.data(), kBlockSamples);
    lastRe_ = zr[kBlockSamples - 1];
    lastIm_ = zi[kBlockSamples - 1];
}

} // namespace nimbo::weak
