// SPDX-License-Identifier: GPL-3.0-or-later
// Radix-2 complex FFT of a fixed power-of-two size, in place on separate real and
// imaginary arrays; twiddles and the bit-reversed order are computed once per object.
#pragma once

#include <array>
#include <cstdint>

namespace nimbo::weak {

template <int N> class Fft {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "the size must be a power of two");

  public:
    Fft();
    // X[k] = sum over n of x[n] exp(-2 pi i k n / N), k = 0 .. N - 1 (no scaling).
    void forward(std::array<float, N>& re, std::array<float, N>& im) const;

  private:
    std::array<float, N / 2> cos_{}, sin_{}; // exp(-2 pi i k / N) = cos_[k] - i sin_[k]
    std::array<uint32_t, N> reversed_{};
};

extern template class Fft<1024>;
extern template class Fft<2048>;
extern template class Fft<4096>;
extern template class Fft<8192>;

} // namespace nimbo::weak
