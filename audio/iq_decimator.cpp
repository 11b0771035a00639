// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/iq_decimator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

#include "dsp/bessel.h"
#include "dsp/signal.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Halving stays worth it down to this rate; below it the polyphase filter does the rest
// (at most 5:1, with at most 52 taps).
constexpr double kMinHalvingRate = 240000.0;
// The 7-tap half-band keeps what folds into +-14 kHz 73 dB down from this rate on, the
// 11-tap one 69 dB down at 240 kHz.
constexpr double kShortHalfBandRate = 480000.0;

// Polyphase filter: stop-band attenuation in dB (Kaiser window), rows for rates that share
// no short phase grid with 48 kHz (then interpolated), and the largest exact grid.
constexpr double kStopBandDb = 70.0;
constexpr int kInterpolatedPhases = 512;
constexpr int64_t kMaxExactPhases = 1024;

// The polyphase filter's taps come in groups of this many (zeros fill the last group).
constexpr std::size_t kTapGroup = 8;

// Room in each filter's line: one call's input plus the longest history and an odd sample.
constexpr std::size_t kLineRoom = IqDecimator::kMaxInput + 128;


// One output of a maximally flat half-band filter centred on x[0]: 7 taps
// (-1, 0, 9, 16, 9, 0, -1) / 32 or 11 taps (3, 0, -25, 0, 150, 256, 150, 0, -25, 0, 3) / 512.
template <int Taps> inline float halfBandAt(const float* x) {
    if constexpr (Taps == 7)
        return 0.5f * x[0] + (9.0f / 32.0f) * (x[-1] + x[1]) - (1.0f / 32.0f) * (x[-3] + x[3]);
    else
        return 0.5f * x[0] + (150.0f / 512.0f) * (x[-1] + x[1]) -
               (25.0f / 512.0f) * (x[-3] + x[3]) + (3.0f / 512.0f) * (x[-5] + x[5]);
}

template <int Taps>
NIMBO_SIMD_CLONES void halveLane(const float* __restrict in, float* __restrict out,
                                 std::size_t count) {
    const float* centre = in + Taps / 2;
    for (std::size_t k = 0; k < count; ++k)
        out[k] = halfBandAt<Taps>(centre + 2 * k);
}

// Eight floats side by side: one AVX register, or two SSE ones.
using Float8 = float __attribute__((vector_size(32)));

// One output of the polyphase filter on I and Q, eight taps at a time (they come in whole
// eights).
inline void dotPair(const float* h, const float* xi, const float* xq, std::size_t taps, float* yi,
                    float* yq) {
    Float8 si{}, sq{};
    for (std::size_t k = 0; k < taps; k += kTapGroup) {
        Float8 hk, ik, qk; // copied in: the rows and windows need not be aligned
        std::memcpy(&hk, h + k, sizeof hk);
        std::memcpy(&ik, xi + k, sizeof ik);
        std::memcpy(&qk, xq + k, sizeof qk);
        si += hk * ik;
        sq += hk * qk;
    }
    float a = 0.0f, b = 0.0f;
    for (std::size_t l = 0; l < kTapGroup; ++l) {
        a += si[l];
        b += sq[l];
    }
    *yi = a;
    *yq = b;
}

// The polyphase filter's outputs while whole windows are in: `rows` of `taps` coefficients,
// output n from row (fraction of its position) * phases / denominator, blended with the next
// row when `blend` (room for one row) is given. Returns the outputs made; `start` and
// `fraction` move on to the next window.
NIMBO_SIMD_CLONES std::size_t polyphase(const float* __restrict rows, std::size_t taps, int phases,
                                        float* __restrict blend, const float* xi, const float* xq,
                                        std::size_t have, int64_t step, int64_t denominator,
                                        std::size_t& start, int64_t& fraction, float* outI,
                                        float* outQ) {
    const auto whole = static_cast<std::size_t>(step / denominator);
    const int64_t part = step % denominator;
    std::size_t made = 0;
    while (start + taps <= have) {
        const float* h = rows + static_cast<std::size_t>(fraction) * taps;
        if (blend) {
            const double position = double(fraction) * phases / double(denominator);
            const auto p = static_cast<std::size_t>(position);
            const float mu = static_cast<float>(position - double(p));
            const float* h0 = rows + p * taps;
            for (std::size_t k = 0; k < taps; ++k)
                blend[k] = h0[k] + mu * (h0[taps + k] - h0[k]);
            h = blend;
        }
        dotPair(h, xi + start, xq + start, taps, outI + made, outQ + made);
        ++made;
        fraction += part; // no division per output
        start += whole;
        if (fraction >= denominator) {
            fraction -= denominator;
            ++start;
        }
    }
    return made;
}

} // namespace

IqDecimator::IqDecimator(int inputRate, double offsetHz) {
    const int rate = std::clamp(inputRate, kMinIqRate, kMaxIqRate);
    mixing_ = offsetHz != 0.0;
    omega_ = -kTwoPi * offsetHz / rate; // the sonde at +offset moves down to 0 Hz
    rotCos_.resize(kMaxInput);
    rotSin_.resize(kMaxInput);
    for (std::size_t k = 0; k < kMaxInput; ++k) {
        rotCos_[k] = static_cast<float>(std::cos(omega_ * static_cast<double>(k)));
        rotSin_[k] = static_cast<float>(std::sin(omega_ * static_cast<double>(k)));
    }

    double stageRate = rate;
    int64_t denominator = kSampleRate;
    while (stageRate >= kMinHalvingRate) {
        HalfBand stage;
        stage.taps = stageRate >= kShortHalfBandRate ? 7 : 11;
        stage.line.i.assign(kLineRoom, 0.0f);
        stage.line.q.assign(kLineRoom, 0.0f);
        stage.line.have = static_cast<std::size_t>(stage.taps - 1); // zeros before the start
        halfBands_.push_back(std::move(stage));
        stageRate /= 2.0;
        denominator *= 2;
    }
    resamplerLine_.i.assign(kLineRoom, 0.0f);
    resamplerLine_.q.assign(kLineRoom, 0.0f);
    if (stageRate == kSampleRate) return; // 48 kHz already: nothing to filter

    // Output n lies at input position n * rate / (48000 * 2^stages) of this filter's rate.
    const int64_t common = std::gcd(int64_t{rate}, denominator);
    step_ = rate / common;
    denominator_ = denominator / common;
    interpolate_ = denominator_ > kMaxExactPhases;
    phases_ = interpolate_ ? kInterpolatedPhases : static_cast<int>(denominator_);

    // Pass +-14 kHz, stop from where a component would fold (downward) or mirror (upward)
    // into that band; the cut-off halfway between.
    const double edge = std::min(stageRate, double{kSampleRate});
    const double transition = (edge - 2.0 * kIqCleanHz) / stageRate; // cycles per sample
    const double cutoff = 0.5 * edge / stageRate;
    const double span = (kStopBandDb - 8.0) / (2.285 * kTwoPi * transition);
    const int designed = 2 * static_cast<int>(std::ceil(span / 2.0));
    taps_ = static_cast<int>((designed + kTapGroup - 1) / kTapGroup * kTapGroup);
    const double beta = 0.1102 * (kStopBandDb - 8.7);
    const double half = 0.5 * designed;
    const int rows = phases_ + (interpolate_ ? 1 : 0);
    coefficients_.assign(static_cast<std::size_t>(rows) * taps_, 0.0f);
    for (int p = 0; p < rows; ++p) {
        std::vector<double> row(static_cast<std::size_t>(taps_), 0.0);
        double sum = 0.0;
        for (int k = 0; k < designed; ++k) {
            // Tap k meets input sample k of the window; the output sits between samples
            // taps/2 - 1 and taps/2, p/phases of the way along.
            const double tau = k - (half - 1.0) - double(p) / phases_;
            const double x = 2.0 * cutoff * tau;
            const double sinc =
                x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            const double r = tau / half;
            const double window =
                r * r < 1.0 ? besselI0(beta * std::sqrt(1.0 - r * r)) / besselI0(beta) : 0.0;
            row[k] = sinc * window;
            sum += row[k];
        }
        for (int k = 0; k < taps_; ++k) // unit gain at 0 Hz in every row
            coefficients_[static_cast<std::size_t>(p) * taps_ + k] =
                static_cast<float>(row[k] / sum);
    }
    blended_.assign(static_cast<std::size_t>(taps_), 0.0f);
    resamplerLine_.have = static_cast<std::size_t>(taps_ - 1);
}

std::size_t IqDecimator::process(std::size_t n, float* outI, float* outQ) {
    n = std::min(n, kMaxInput);
    Line& in = first();
    if (mixing_) mix(in.i.data() + in.have, in.q.data() + in.have, n);
    in.have += n;
    for (std::size_t s = 0; s < halfBands_.size(); ++s)
        halve(halfBands_[s], halfBands_[s].line,
              s + 1 < halfBands_.size() ? halfBands_[s + 1].line : resamplerLine_);
    return resample(outI, outQ);
}

namespace {

NIMBO_SIMD_CLONES void rotate(float* __restrict i, float* __restrict q, const float* __restrict c,
                              const float* __restrict s, float baseCos, float baseSin,
                              std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const float pc = baseCos * c[k] - baseSin * s[k];
        const float ps = baseCos * s[k] + baseSin * c[k];
        const float x = i[k], y = q[k];
        i[k] = x * pc - y * ps;
        q[k] = x * ps + y * pc;
    }
}

} // namespace

// Multiplies by e^{j (phase + omega k)}: a table for the steps within the call, one exact
// phase per call, so the phase never drifts however long the input.
void IqDecimator::mix(float* i, float* q, std::size_t n) {
    rotate(i, q, rotCos_.data(), rotSin_.data(), static_cast<float>(std::cos(phase_)),
           static_cast<float>(std::sin(phase_)), n);
    phase_ = std::remainder(phase_ + omega_ * static_cast<double>(n), kTwoPi);
}

void IqDecimator::halve(const HalfBand& stage, Line& in, Line& out) {
    const std::size_t taps = static_cast<std::size_t>(stage.taps);
    if (in.have < taps) return;
    const std::size_t count = (in.have - taps) / 2 + 1;
    float* oi = out.i.data() + out.have;
    float* oq = out.q.data() + out.have;
    if (taps == 7) {
        halveLane<7>(in.i.data(), oi, count);
        halveLane<7>(in.q.data(), oq, count);
    } else {
        halveLane<11>(in.i.data(), oi, count);
        halveLane<11>(in.q.data(), oq, count);
    }
    out.have += count;
    const std::size_t used = 2 * count; // the next window starts there
    std::memmove(in.i.data(), in.i.data() + used, (in.have - used) * sizeof(float));
    std::memmove(in.q.data(), in.q.data() + used, (in.have - used) * sizeof(float));
    in.have -= used;
}

std::size_t IqDecimator::resample(float* outI, float* outQ) {
    Line& in = resamplerLine_;
    if (taps_ == 0) {
        std::copy_n(in.i.data(), in.have, outI);
        std::copy_n(in.q.data(), in.have, outQ);
        const std::size_t made = in.have;
        in.have = 0;
        return made;
    }
    std::size_t start = 0;
    const std::size_t made =
        polyphase(coefficients_.data(), static_cast<std::size_t>(taps_), phases_,
                  interpolate_ ? blended_.data() : nullptr, in.i.data(), in.q.data(), in.have,
                  step_, denominator_, start, fraction_, outI, outQ);
    // The next window starts within what is here: a step is under 5 samples, a window 16 or more.
    std::memmove(in.i.data(), in.i.data() + start, (in.have - start) * sizeof(float));
    std::memmove(in.q.data(), in.q.data() + start, (in.have - start) * sizeof(float));
    in.have -= start;
    return made;
}

} // namespace nimbo
