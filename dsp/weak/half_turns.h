// SPDX-License-Identifier: GPL-3.0-or-later
// One symbol's baseband correlated with the two half-turn phase paths a symbol can take
// (up and down by half a turn), turned back by the fine carrier loop's correction: what both
// the Manchester pairs and the NRZ bits decide on.
#pragma once

#include <array>
#include <complex>

#include "dsp/weak/air.h"
#include "dsp/weak/carrier_loop.h"

namespace nimbo::weak {

// r^0 .. r^N: the weights of neighbours trusted less the further away they are.
template <int N> constexpr std::array<float, N + 1> powers(float r) {
    std::array<float, N + 1> p{};
    p[0] = 1.0f;
    for (int i = 1; i <= N; ++i)
        p[i] = p[i - 1] * r;
    return p;
}

struct HalfTurns {
    std::complex<float> down, up; // sum z e^{j a} and sum z e^{-j a}, a = pi (i + 1/2) / N
    int clips;                    // discriminator clicks within the symbol
};

// The symbol ending at block index `last` of `in`, `samples` after the one before (the
// carrier loop advances by them first).
HalfTurns halfTurns(const Baseband& in, int last, int samples, CarrierLoop& carrier);

} // namespace nimbo::weak
