// SPDX-License-Identifier: GPL-3.0-or-later
// Radix-2 decimation in time: the input in bit-reversed order, then log2(N) passes of
// butterflies whose span doubles each pass.
#include "dsp/weak/fft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace nimbo::weak {

template <int N> Fft<N>::Fft() {
    for (int k = 0; k < N / 2; ++k) {
        const double a = 2.0 * std::numbers::pi * k / N;
        cos_[k] = static_cast<float>(std::cos(a));
        sin_[k] = static_cast<float>(std::sin(a));
    }
    int bits = 0;
    while ((1 << bits) < N)
        ++bits;
    for (uint32_t n = 0; n < static_cast<uint32_t>(N); ++n) {
        uint32_t r = 0;
        for (int b = 0; b < bits; ++b)
            r |= ((n >> b) & 1u) << (bits - 1 - b);
        reversed_[n] = r;
    }
}

template <int N> void Fft<N>::forward(std::array<float, N>& re, std::array<float, N>& im) const {
    for (int n = 0; n < N; ++n) {
        const auto r = static_cast<int>(reversed_[n]);
        if (r > n) {
            std::swap(re[n], re[r]);
            std::swap(im[n], im[r]);
        }
    }
    for (int half = 1; half < N; half *= 2) {
        const int stride = N / (2 * half); // twiddle index step for this span
        for (int start = 0; start < N; start += 2 * half) {
            for (int j = 0; j < half; ++j) {
                const float c = cos_[j * stride], s = sin_[j * stride];
                const int a = start + j, b = a + half;
                // (re[b] + i im[b]) * (c - i s)
                const float tr = re[b] * c + im[b] * s;
                const float ti = im[b] * c - re[b] * s;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

template class Fft<1024>;
template class Fft<2048>;
template class Fft<4096>;
template class Fft<8192>;

} // namespace nimbo::weak
