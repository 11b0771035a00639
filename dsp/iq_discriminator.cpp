// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/iq_discriminator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/bessel.h"
#include "dsp/front_end.h"
#include "dsp/phase.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

// Wide channel, where the carrier is measured: half amplitude at 16.5 kHz, Kaiser window
// (beta 5), flat to about 14 kHz (a carrier 10 kHz off plus the deviation and the pulses'
// spread), 50 dB down from 19 kHz.
constexpr double kChannelCutoffHz = 16500.0;
constexpr double kChannelBeta = 5.0;
// The narrow channel that follows the carrier: half amplitude at 8.5 kHz, flat to about
// 6 kHz (the deviation and the pulses' spread, with room for the carrier's wander), 50 dB
// down from 11 kHz. Half the wide channel's noise: the clicks start about 3 dB lower.
constexpr double kNarrowCutoffHz = 8500.0;
constexpr int kTaps = IqDiscriminator::kChannelTaps;

// Audio levels per radian of phase step.
constexpr double kLevelPerRadian = Receiver::kDiscriminatorScale * kSampleRate /
                                   (2.0 * std::numbers::pi * IqDiscriminator::kDeviationHz);


// A Kaiser-windowed (beta 5) low-pass with half amplitude at cutoffHz and unit gain at 0 Hz.
std::array<float, kTaps> lowPass(double cutoffHz) {
    std::array<double, kTaps> t{};
    constexpr int kCentre = kTaps / 2;
    const double fc = cutoffHz / kSampleRate; // cycles per sample
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        const double x = k - kCentre, r = x / kCentre;
        const double sinc =
            x == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * x) / (std::numbers::pi * x);
        t[k] = sinc * besselI0(kChannelBeta * std::sqrt(std::max(0.0, 1.0 - r * r)));
        sum += t[k];
    }
    std::array<float, kTaps> taps{};
    for (int k = 0; k < kTaps; ++k)
        taps[k] = static_cast<float>(t[k] / sum);
    return taps;
}

const std::array<float, kTaps> wideTaps = lowPass(kChannelCutoffHz);
const std::array<float, kTaps> narrowTaps = lowPass(kNarrowCutoffHz);

// Eight floats side by side: one AVX register, or two SSE ones.
using Float8 = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;
static_assert(kBlockSamples % kLanes == 0);

// The channel filter over one block: out[n] takes inputs n .. n + kTaps - 1 of `in` (history
// first). Eight outputs at a time, the symmetric taps' pairs added before they are weighed.
NIMBO_SIMD_CLONES void channelFilter(const float* __restrict taps, const float* __restrict in,
                                     float* __restrict out) {
    constexpr int kCentre = kTaps / 2;
    for (int n = 0; n < kBlockSamples; n += kLanes) {
        Float8 centre, acc;
        std::memcpy(&centre, in + n + kCentre, sizeof centre);
        acc = taps[kCentre] * centre;
        for (int k = 0; k < kCentre; ++k) {
            Float8 a, b;
            std::memcpy(&a, in + n + k, sizeof a);
            std::memcpy(&b, in + n + kTaps - 1 - k, sizeof b);
            acc += taps[k] * (a + b);
        }
        std::memcpy(out + n, &acc, sizeof acc);
    }
}

// The phase step from each sample to the next, as audio levels; a sample pair with no
// signal gives 0.
NIMBO_SIMD_CLONES void phaseSteps(const float* i, const float* q, float lastI, float lastQ,
                                  double* step) {
    for (int n = 0; n < kBlockSamples; ++n) {
        const float pi = n > 0 ? i[n - 1] : lastI, pq = n > 0 ? q[n - 1] : lastQ;
        const float re = i[n] * pi + q[n] * pq, im = q[n] * pi - i[n] * pq;
        step[n] = double(phaseAtan2(im, re)) * kLevelPerRadian;
    }
}

// e^{j (theta + w n)} for the block's samples: eight exact ones, then each from the one
// eight before (rounding grows by about 1e-7 per step, 6e-5 at the block's end), so that
// the loop runs eight samples side by side.
NIMBO_SIMD_CLONES void phasors(double theta, double w, float* __restrict c, float* __restrict s) {
    constexpr int kLanes = 8;
    for (int n = 0; n < kLanes; ++n) {
        c[n] = static_cast<float>(std::cos(theta + w * n));
        s[n] = static_cast<float>(std::sin(theta + w * n));
    }
    const auto stepC = static_cast<float>(std::cos(w * kLanes));
    const auto stepS = static_cast<float>(std::sin(w * kLanes));
    for (int n = kLanes; n < kBlockSamples; ++n) {
        c[n] = c[n - kLanes] * stepC - s[n - kLanes] * stepS;
        s[n] = c[n - kLanes] * stepS + s[n - kLanes] * stepC;
    }
}

// Interleaved 16-bit I and Q words to floats, I and Q apart.
NIMBO_SIMD_CLONES void widen(const int16_t* __restrict iq, float* __restrict i,
                             float* __restrict q) {
    for (int n = 0; n < kBlockSamples; ++n) {
        i[n] = iq[2 * n];
        q[n] = iq[2 * n + 1];
    }
}

// The samples turned by the phasor p, which turns by `turn` per sample: (out) = (in) * p.
NIMBO_SIMD_CLONES void turn(const float* __restrict i, const float* __restrict q,
                            const float* __restrict c, const float* __restrict s,
                            float* __restrict outI, float* __restrict outQ) {
    for (int n = 0; n < kBlockSamples; ++n) {
        outI[n] = i[n] * c[n] - q[n] * s[n];
        outQ[n] = i[n] * s[n] + q[n] * c[n];
    }
}

// Audio: each step plus `shift` less the carrier, rounded to 16 bits (halves away from 0) on
// the left, 0 on the right.
NIMBO_SIMD_CLONES void toAudio(const double* __restrict step, double shift,
                               const double* __restrict carrier, int16_t* __restrict audio) {
    for (int n = 0; n < kBlockSamples; ++n) {
        const double v = std::clamp(step[n] + shift - carrier[n], -32767.0, 32767.0);
        audio[2 * n] = static_cast<int16_t>(static_cast<int>(v + std::copysign(0.5, v)));
        audio[2 * n + 1] = 0;
    }
}

} // namespace

void IqDiscriminator::process(const int16_t* iq, int16_t* audio) {
    // The wide channel: where the carrier is.
    std::copy(i_.end() - kHistory, i_.end(), i_.begin());
    std::copy(q_.end() - kHistory, q_.end(), q_.begin());
    widen(iq, i_.data() + kHistory, q_.data() + kHistory);
    channelFilter(wideTaps.data(), i_.data(), filteredI_.data());
    channelFilter(wideTaps.data(), q_.data(), filteredQ_.data());
    phaseSteps(filteredI_.data(), filteredQ_.data(), lastI_, lastQ_, step_.data());
    lastI_ = filteredI_[kBlockSamples - 1];
    lastQ_ = filteredQ_[kBlockSamples - 1];

    if (!started_) { // the first block's mean, so that a far carrier does not clip at the start
        double sum = 0.0;
        for (double v : step_)
            sum += v;
        carrier_ = sum / kBlockSamples;
        started_ = true;
    }
    const double blockCarrier = carrier_; // audio levels, where the narrow channel sits
    const double alpha = 1.0 / (kCarrierTimeConstant * kSampleRate);
    double carrier = carrier_;
    for (int n = 0; n < kBlockSamples; ++n) { // sample by sample: the tracker and the phasor
        carrier += alpha * (step_[n] - carrier);
        carriers_[n] = carrier;
    }
    carrier_ = carrier;

    // The narrow channel, turned down by the block's carrier so that it sits on the signal;
    // the phasor runs on across blocks.
    const double w = -blockCarrier / kLevelPerRadian; // radians per sample
    phasors(phase_, w, phasorI_.data(), phasorQ_.data());
    phase_ = std::remainder(phase_ + w * kBlockSamples, 2.0 * std::numbers::pi);
    std::copy(narrowI_.end() - kHistory, narrowI_.end(), narrowI_.begin());
    std::copy(narrowQ_.end() - kHistory, narrowQ_.end(), narrowQ_.begin());
    turn(i_.data() + kHistory, q_.data() + kHistory, phasorI_.data(), phasorQ_.data(),
         narrowI_.data() + kHistory, narrowQ_.data() + kHistory);
    channelFilter(narrowTaps.data(), narrowI_.data(), filteredI_.data());
    channelFilter(narrowTaps.data(), narrowQ_.data(), filteredQ_.data());
    phaseSteps(filteredI_.data(), filteredQ_.data(), narrowLastI_, narrowLastQ_, step_.data());
    narrowLastI_ = filteredI_[kBlockSamples - 1];
    narrowLastQ_ = filteredQ_[kBlockSamples - 1];
    toAudio(step_.data(), blockCarrier, carriers_.data(), audio);
}

void IqDiscriminator::reset() {
    i_.fill(0.0f);
    q_.fill(0.0f);
    narrowI_.fill(0.0f);
    narrowQ_.fill(0.0f);
    lastI_ = lastQ_ = narrowLastI_ = narrowLastQ_ = 0.0f;
    phase_ = 0.0;
    carrier_ = 0.0;
    started_ = false;
}

double IqDiscriminator::carrierHz() const {
    return carrier_ * kDeviationHz / Receiver::kDiscriminatorScale;
}

} // namespace nimbo
