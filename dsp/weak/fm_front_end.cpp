// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/fm_front_end.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/front_end.h"
#include "dsp/simd_clones.h"
#include "dsp/weak/lanes.h"
#include "dsp/weak/trig.h"

namespace nimbo::weak {
namespace {

// Full deviation: half a turn per symbol.
constexpr double kRadiansPerUnit = std::numbers::pi / kSamplesPerSymbol;
// The audio clips at 32767, about 1.29 radians a step at the standard level; the steps of
// clicks that went beyond average about 1.95 radians (measured on the receiver model),
// about a third of the way to a half turn.
constexpr int kClipped = 32767;
constexpr double kClickExcess = 0.36; // of the way from the clip to a half turn
// A click on its own is judged by the steps beside it: behind a sharp IF filter, where the
// phase already moved fast just before and after, those steps hold more of the turn and the
// clipped one less. Measured from the mean of such sums (learned from the audio, so that the
// click's mean size stays the fixed one whatever the filter). On a 4-pole Butterworth IF of
// 5 to 9 kHz at 8 to 10 dB, shares of 0.52 and 0.33 bring the error from 0.53 to about 0.46
// radians RMS, but behind soft filters (single poles in a row) the neighbours tell nothing
// and those shares cost more than they bring there: 0.6 of them keeps most of the gain and
// stays within 1 % of the fixed size there.
constexpr double kNextShare = 0.31;  // of each neighbouring step, against the click
constexpr double kSecondShare = 0.2; // of each step two away, with it
constexpr double kClickMeanGain = 1.0 / 512.0;
// The offset estimate: mean step over about 2048 samples (32768 for NRZ data).
constexpr double kMeanGain = 1.0 / 2048.0, kSlowMeanGain = 1.0 / 32768.0;

int32_t toPhaseUnits(double radians) {
    // Steps beyond half a turn wrap, as the phase they stand for does.
    return static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<int64_t>(std::llround(radians * kPhaseUnitsPerRadian))));
}

// A sample's step as the audio holds it (32-bit turns), and whether it clipped.
inline int32_t heardStep(int a, float unitsPerSample) {
    return static_cast<int32_t>(static_cast<float>(a) * unitsPerSample);
}
inline bool clippedAt(int a, int clipped) {
    return a >= clipped || a <= -clipped;
}

// The phase step of each sample (32-bit turns), clipped samples standing for a click.
NIMBO_SIMD_CLONES
void stepBlock(const int16_t* samples, int stride, float unitsPerSample, int clipped, int32_t click,
               int32_t* steps, uint8_t* clips, float* freq) {
    for (int i = 0; i < kBlockSamples; ++i) {
        const int a = samples[stride * i];
        const bool clip = clippedAt(a, clipped);
        steps[i] = clip ? (a > 0 ? click : -click) : heardStep(a, unitsPerSample);
        clips[i] = static_cast<uint8_t>(clip);
        freq[i] = static_cast<float>(a) * static_cast<float>(1.0 / Receiver::kDiscriminatorScale);
    }
}

NIMBO_SIMD_CLONES
void sinCosBlock(const int32_t* phases, float* c, float* s, int n) {
    for (int i = 0; i < n; ++i)
        sinCosTurns(static_cast<uint32_t>(phases[i]), c[i], s[i]);
}

// The mean's weights over one chunk: sample k of kChunk counts g (1 - g)^(kChunk - 1 - k).
template <int N> std::array<float, N> chunkWeights(double gain) {
    std::array<float, N> w{};
    for (int k = 0; k < N; ++k)
        w[k] = static_cast<float>(gain * std::pow(1.0 - gain, N - 1 - k));
    return w;
}

} // namespace

void FmFrontEnd::sizeClicks(const int16_t* samples, int stride, float unitsPerSample,
                            double clipRadians, const uint8_t* clips) {
    // Samples -2 and -1 are the previous block's last two. A click in the block's last two
    // samples keeps the fixed size.
    const auto audio = [&](int j) {
        return j < 0 ? lastAudio_[static_cast<std::size_t>(2 + j)] : samples[stride * j];
    };
    const auto clipped = [&](int j) {
        return j < 0 ? clippedAt(audio(j), kClipped) : clips[j] != 0;
    };
    const double base = clipRadians + kClickExcess * (std::numbers::pi - clipRadians);
    for (int i = 0; i < kBlockSamples - 2; ++i) {
        if (!clips[i] || clipped(i - 1) || clips[i + 1]) continue;
        const double sign = audio(i) > 0 ? 1.0 : -1.0;
        const auto near = [&](int j) { // radians, the click's way positive
            return sign * heardStep(audio(j), unitsPerSample) / kPhaseUnitsPerRadian;
        };
        const double next = near(i - 1) + near(i + 1), second = near(i - 2) + near(i + 2);
        nextMean_ += (next - nextMean_) * kClickMeanGain;
        secondMean_ += (second - secondMean_) * kClickMeanGain;
        const double step =
            base - kNextShare * (next - nextMean_) + kSecondShare * (second - secondMean_);
        steps_[static_cast<std::size_t>(i)] =
            toPhaseUnits(sign * std::clamp(step, clipRadians, std::numbers::pi));
    }
}

void FmFrontEnd::process(const int16_t* samples, int stride, double deviation, Baseband& out) {
    // A click (the noise taking the phase round the origin) has steps beyond what the audio
    // holds: a clipped step stands for the mean of such steps and is counted, so that the
    // carrier reference trusts the phase less across it.
    const double radiansPerUnit = kRadiansPerUnit / deviation;
    const double clipRadians = kClipped / Receiver::kDiscriminatorScale * radiansPerUnit;
    const bool clicksClip = clipRadians < std::numbers::pi;
    const int32_t click =
        toPhaseUnits(clipRadians + kClickExcess * (std::numbers::pi - clipRadians));
    const double unitsPerSample =
        radiansPerUnit / Receiver::kDiscriminatorScale * kPhaseUnitsPerRadian;
    const bool wraps = 32768.0 * unitsPerSample >= 2147483000.0;
    uint8_t* clips = out.clips.data() + kCarry;
    if (!wraps) {
        stepBlock(samples, stride, static_cast<float>(unitsPerSample),
                  clicksClip ? kClipped : 32768, click, steps_.data(), clips, out.freq.data());
        if (clicksClip)
            sizeClicks(samples, stride, static_cast<float>(unitsPerSample), clipRadians, clips);
    } else {
        // A deviation so small that the audio's steps go beyond half a turn: rare, slow.
        for (int i = 0; i < kBlockSamples; ++i) {
            const int16_t a = samples[stride * i];
            const bool clip = clicksClip && (a >= kClipped || a <= -kClipped);
            steps_[i] = clip ? (a > 0 ? click : -click)
                             : toPhaseUnits(a * (radiansPerUnit / Receiver::kDiscriminatorScale));
            clips[i] = clip ? 1 : 0;
            out.freq[i] = static_cast<float>(a * (1.0 / Receiver::kDiscriminatorScale));
        }
    }
    lastAudio_ = {samples[stride * (kBlockSamples - 2)], samples[stride * (kBlockSamples - 1)]};
    sinCosBlock(steps_.data(), stepCos_.data(), stepSin_.data(), kBlockSamples);

    // The offset is the angle of the mean step, which clicks do not pull as they do the mean
    // of the audio; it is worked out at the start of every chunk.
    static const std::array<float, kChunk> fastWeights = chunkWeights<kChunk>(kMeanGain);
    static const std::array<float, kChunk> slowWeights = chunkWeights<kChunk>(kSlowMeanGain);
    static const double fastDecay = std::pow(1.0 - kMeanGain, kChunk);
    static const double slowDecay = std::pow(1.0 - kSlowMeanGain, kChunk);
    const std::array<float, kChunk>& weights = slowOffset_ ? slowWeights : fastWeights;
    const double decay = slowOffset_ ? slowDecay : fastDecay;
    float* re = out.re.data() + kCarry;
    float* im = out.im.data() + kCarry;
    static_assert(kBlockSamples % kChunk == 0);
    for (int c = 0; c < kBlockSamples; c += kChunk) {
        const float sumRe = dot8(weights.data(), stepCos_.data() + c, kChunk);
        const float sumIm = dot8(weights.data(), stepSin_.data() + c, kChunk);
        meanRe_ = meanRe_ * decay + sumRe;
        meanIm_ = meanIm_ * decay + sumIm;
        const int32_t turn = toPhaseUnits(-offsetStep_ - fine_);
        uint32_t phase = phase_;
        for (int k = 0; k < kChunk; ++k) {
            phase += static_cast<uint32_t>(steps_[c + k]) + static_cast<uint32_t>(turn);
            steps_[c + k] = static_cast<int32_t>(phase);
        }
        phase_ = phase;
        offsetStep_ = std::atan2(meanIm_, meanRe_);
    }
    sinCosBlock(steps_.data(), re, im, kBlockSamples);
}

} // namespace nimbo::weak
