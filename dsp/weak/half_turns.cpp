// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/half_turns.h"

#include <array>

namespace nimbo::weak {
namespace {

// Per sample the factors of the four sums rc, is, rs, ic below, side by side so that the
// four sums are one vector sum (each lane adds in the same order as four scalar sums would).
using Lanes = float __attribute__((vector_size(16)));
const std::array<Lanes, kSamplesPerSymbol> kHalfTurnLanes = [] {
    const std::array<float, kSamplesPerSymbol> c = halfTurn(false), s = halfTurn(true);
    std::array<Lanes, kSamplesPerSymbol> t{};
    for (int i = 0; i < kSamplesPerSymbol; ++i)
        t[i] = Lanes{c[i], s[i], s[i], c[i]};
    return t;
}();

} // namespace

HalfTurns halfTurns(const Baseband& in, int last, int samples, CarrierLoop& carrier) {
    const int first = last - (kSamplesPerSymbol - 1);
    const float* zr = &in.re[static_cast<std::size_t>(first)];
    const float* zi = &in.im[static_cast<std::size_t>(first)];
    Lanes sum{}; // rc, is, rs, ic
    for (int i = 0; i < kSamplesPerSymbol; ++i)
        sum += Lanes{zr[i], zi[i], zr[i], zi[i]} * kHalfTurnLanes[i];
    const float rc = sum[0], is = sum[1], rs = sum[2], ic = sum[3];
    int clips = 0;
    for (int i = 0; i < kSamplesPerSymbol; ++i)
        clips += in.clips[static_cast<std::size_t>(first + i)];
    carrier.advance(samples);
    return {carrier.derotate({rc - is, rs + ic}), carrier.derotate({rc + is, ic - rs}), clips};
}

} // namespace nimbo::weak
