// SPDX-License-Identifier: GPL-3.0-or-later
// Low-pass FIR filtering of a block of complex samples in place of a copy: the input kept
// with the previous block's tail before it, so that the inner loops run over one unbroken
// stretch and vectorise.
#pragma once

#include <array>
#include <cmath>
#include <numbers>

#include "dsp/signal.h"

namespace nimbo::weak {

// Odd-length Hamming-windowed sinc, cut-off `hz` at kSampleRate, unit gain at 0 Hz.
template <int Taps>
std::array<float, Taps> lowPassTaps(double hz) {
    static_assert(Taps % 2 == 1);
    std::array<double, Taps> t{};
    const double fc = hz / kSampleRate;
    double sum = 0.0;
    for (int i = 0; i < Taps; ++i) {
        const double m = i - (Taps - 1) / 2;
        const double sinc =
            m == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * m) / (std::numbers::pi * m);
        t[i] = sinc * (0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (Taps - 1)));
        sum += t[i];
    }
    std::array<float, Taps> taps{};
    for (int i = 0; i < Taps; ++i)
        taps[i] = static_cast<float>(t[i] / sum);
    return taps;
}

// out[i] = sum of taps[k] x[i + k] over kBlockSamples outputs, for 15 taps: each output
// summed in a register, the loop along the samples vectorised.
void filterBlock15(const float* x, const float* taps, float* out);

// A symmetric low-pass over blocks of kBlockSamples complex samples.
template <int Taps>
class ComplexLowPass {
  public:
    explicit ComplexLowPass(double cutoffHz) : taps_(lowPassTaps<Taps>(cutoffHz)) {}

    // Where the caller writes the block's input: kBlockSamples values each.
    float* inRe() { return re_.data() + kHistory; }
    float* inIm() { return im_.data() + kHistory; }
    // Filters the block written to inRe/inIm into outRe/outIm (kBlockSamples each); the
    // output lags the input by (Taps - 1) / 2 samples.
    void run(float* outRe, float* outIm) {
        static_assert(Taps == 15, "one filter length is compiled");
        filterBlock15(re_.data(), taps_.data(), outRe);
        filterBlock15(im_.data(), taps_.data(), outIm);
        for (int k = 0; k < kHistory; ++k) {
            re_[k] = re_[kBlockSamples + k];
            im_[k] = im_[kBlockSamples + k];
        }
    }
    void reset() {
        re_.fill(0.0f);
        im_.fill(0.0f);
    }

  private:
    static constexpr int kHistory = Taps - 1;
    std::array<float, Taps> taps_;
    std::array<float, kHistory + kBlockSamples> re_{}, im_{};
};

} // namespace nimbo::weak
