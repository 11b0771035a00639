#include "dsp/iq_discriminator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/front_end.h"
#include "dsp/phase.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

// Channel low-pass: half amplitude at 16 kHz, Kaiser window (beta 6), so flat to about 14 kHz
// (a carrier 10 kHz off plus the deviation and the pulses' spread) and 60 dB down from 18 kHz.
constexpr double kChannelCutoffHz = 16000.0;
constexpr double kChannelBeta = 6.0;

// Audio levels per radian of phase step.
constexpr double kLevelPerRadian = Receiver::kDiscriminatorScale * kSampleRate /
                                   (2.0 * std::numbers::pi * IqDiscriminator::kDeviationHz);

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// The phase step from each sample to the next, as audio levels; a sample pair with no
// signal gives 0.
NIMBO_SIMD_CLONES void phaseSteps(const double* i, const double* q, double lastI, double lastQ,
                                  double* step) {
    for (int n = 0; n < kBlockSamples; ++n) {
        const double pi = n > 0 ? i[n - 1] : lastI, pq = n > 0 ? q[n - 1] : lastQ;
        const double re = i[n] * pi + q[n] * pq, im = q[n] * pi - i[n] * pq;
        step[n] = phaseAtan2(im, re) * kLevelPerRadian;
    }
}

} // namespace

const FirTaps& IqDiscriminator::channelTaps() {
    static const FirTaps taps = [] {
        FirTaps t{};
        constexpr int kCentre = kFirTaps / 2;
        const double fc = kChannelCutoffHz / kSampleRate; // cycles per sample
        double sum = 0.0;
        for (int k = 0; k < kFirTaps; ++k) {
            const double x = k - kCentre, r = x / kCentre;
            const double sinc =
                x == 0 ? 2.0 * fc
                       : std::sin(2.0 * std::numbers::pi * fc * x) / (std::numbers::pi * x);
            t[k] = sinc * besselI0(kChannelBeta * std::sqrt(std::max(0.0, 1.0 - r * r)));
            sum += t[k];
        }
        for (double& v : t) // unit gain at 0 Hz
            v /= sum;
        return t;
    }();
    return taps;
}

void IqDiscriminator::process(const int16_t* iq, int16_t* audio) {
    for (int n = 0; n < kBlockSamples; ++n) {
        i_[n] = iq[2 * n];
        q_[n] = iq[2 * n + 1];
    }
    filterI_.process(i_.data(), i_.data(), kBlockSamples);
    filterQ_.process(q_.data(), q_.data(), kBlockSamples);
    phaseSteps(i_.data(), q_.data(), lastI_, lastQ_, step_.data());
    lastI_ = i_[kBlockSamples - 1];
    lastQ_ = q_[kBlockSamples - 1];

    if (!started_) { // the first block's mean, so that a far carrier does not clip at the start
        double sum = 0.0;
        for (double v : step_)
            sum += v;
        carrier_ = sum / kBlockSamples;
        started_ = true;
    }
    const double alpha = 1.0 / (kCarrierTimeConstant * kSampleRate);
    double carrier = carrier_;
    for (int n = 0; n < kBlockSamples; ++n) {
        carrier += alpha * (step_[n] - carrier);
        const double v = std::clamp(step_[n] - carrier, -32767.0, 32767.0);
        audio[2 * n] = static_cast<int16_t>(std::lrint(v));
        audio[2 * n + 1] = 0;
    }
    carrier_ = carrier;
}

void IqDiscriminator::reset() {
    filterI_.reset();
    filterQ_.reset();
    i_.fill(0.0);
    q_.fill(0.0);
    step_.fill(0.0);
    lastI_ = lastQ_ = 0.0;
    carrier_ = 0.0;
    started_ = false;
}

double IqDiscriminator::carrierHz() const {
    return carrier_ * kDeviationHz / Receiver::kDiscriminatorScale;
}

} // namespace nimbo
