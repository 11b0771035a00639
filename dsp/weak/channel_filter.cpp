#include "dsp/weak/channel_filter.h"

#include <cmath>
#include <numbers>

namespace nimbo::weak {
namespace {

// Sine of the full deviation's step per sample: the cross product of neighbouring unit
// samples at full deviation, scaled to 1.
const double kStepScale = 1.0 / std::sin(std::numbers::pi / kSamplesPerSymbol);

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
        const auto pr = static_cast<float>(phaseRe_), pi = static_cast<float>(phaseIm_);
        for (int k = 0; k < kChunk; ++k) {
            const float tr = pr * turnRe_[k] - pi * turnIm_[k];
            const float ti = pr * turnIm_[k] + pi * turnRe_[k];
            const float xr = re[c + k], xi = im[c + k];
            r[c + k] = xr * tr - xi * ti;
            m[c + k] = xr * ti + xi * tr;
        }
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
    const auto scale = static_cast<float>(2.0 * kStepScale);
    float pr = lastRe_, pi = lastIm_;
    for (int i = 0; i < kBlockSamples; ++i) {
        const float cross = zi[i] * pr - zr[i] * pi;
        const float power = zr[i] * zr[i] + zi[i] * zi[i] + pr * pr + pi * pi;
        out.freq[i] = power > 0.0f ? scale * cross / power : 0.0f;
        pr = zr[i];
        pi = zi[i];
        out.clips[kCarry + i] = 0;
    }
    lastRe_ = pr;
    lastIm_ = pi;
}

} // namespace nimbo::weak
