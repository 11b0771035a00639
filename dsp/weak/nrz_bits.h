// SPDX-License-Identifier: GPL-3.0-or-later
// Soft decisions on NRZ bits (the RS41: one symbol a bit): each symbol's baseband correlated
// with the two half-turn phase paths, and the decision made partly coherent with the carrier
// of the neighbouring symbols.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "dsp/weak/air.h"
#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/soft_ring.h"

namespace nimbo::weak {

class NrzBits {
  public:
    // As ManchesterPairs::symbol: a symbol ended at block index `last` of `in`, `samples`
    // after the one before. Writes the decision kDecisionDelay symbols back to `ring`, once
    // there is one. Returns true when it did.
    bool symbol(const Baseband& in, int last, int samples, CarrierLoop& carrier, SoftRing& ring);
    void reset() { *this = NrzBits(); }

    static constexpr int kReference = 8; // symbols either side in the carrier reference
    static constexpr int kDecisionDelay = kReference;

  private:
    static constexpr int kRing = 32;
    std::array<std::complex<float>, kRing> down_{}, up_{}, carrier_{};
    std::array<float, kRing> trust_{}; // in the carrier of each symbol: fewer clicks, more
    int sinceClick_ = kRing;
    int64_t index_ = -1; // symbols seen
};

} // namespace nimbo::weak
