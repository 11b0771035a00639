#include "dsp/weak/fm_front_end.h"

#include <cmath>
#include <numbers>

#include "dsp/front_end.h"

namespace nimbo::weak {
namespace {

// Full deviation: half a turn per symbol.
constexpr double kRadiansPerUnit = std::numbers::pi / kSamplesPerSymbol;
// The audio clips at 32767, about 1.29 radians a step at the standard level; the steps of
// clicks that went beyond average about 1.95 radians (measured on the receiver model),
// about a third of the way to a half turn.
constexpr int kClipped = 32767;
constexpr double kClickExcess = 0.36; // of the way from the clip to a half turn
// The offset estimate: mean step over about 2048 samples, its angle taken every 64.
constexpr double kMeanGain = 1.0 / 2048.0;
constexpr int kAngleEvery = 64;

} // namespace

void FmFrontEnd::process(const int16_t* samples, int stride, double deviation, Baseband& out) {
    // A click (the noise taking the phase round the origin) has steps beyond what the audio
    // holds: a clipped step stands for the mean of such steps and is counted, so that the
    // carrier reference trusts the phase less across it.
    const double radiansPerUnit = kRadiansPerUnit / deviation;
    const double clipRadians = kClipped / Receiver::kDiscriminatorScale * radiansPerUnit;
    const bool clicksClip = clipRadians < std::numbers::pi;
    const double clickRadians = clipRadians + kClickExcess * (std::numbers::pi - clipRadians);
    const double clickCos = std::cos(clickRadians), clickSin = std::sin(clickRadians);
    for (int i = 0; i < kBlockSamples; ++i) {
        const int16_t a = samples[stride * i];
        const double f = a * (1.0 / Receiver::kDiscriminatorScale);
        const double radians = f * radiansPerUnit;
        double c = 0.0, s = 0.0;
        uint8_t clip = 0;
        if (clicksClip && (a >= kClipped || a <= -kClipped)) {
            c = clickCos;
            s = a > 0 ? clickSin : -clickSin;
            clip = 1;
        } else if (std::abs(radians) < 1.2) {
            c = smallCos(radians);
            s = smallSin(radians);
        } else {
            c = std::cos(radians);
            s = std::sin(radians);
        }
        // The offset is the angle of the mean step, which clicks do not pull as they do the
        // mean of the audio.
        meanRe_ += (c - meanRe_) * kMeanGain;
        meanIm_ += (s - meanIm_) * kMeanGain;
        if (i % kAngleEvery == 0) offsetStep_ = std::atan2(meanIm_, meanRe_);
        const double turn = -offsetStep_ - fine_;
        if (turn != turnAngle_) {
            turnAngle_ = turn;
            turnCos_ = smallCos(turn);
            turnSin_ = smallSin(turn);
        }
        phase_.turn(c * turnCos_ - s * turnSin_, s * turnCos_ + c * turnSin_);
        out.re[kCarry + i] = static_cast<float>(phase_.re);
        out.im[kCarry + i] = static_cast<float>(phase_.im);
        out.freq[i] = static_cast<float>(f);
        out.clips[kCarry + i] = clip;
    }
}

} // namespace nimbo::weak
