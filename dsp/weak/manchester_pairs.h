// SPDX-License-Identifier: GPL-3.0-or-later
// Soft decisions on Manchester bits: each symbol's baseband correlated with the two
// half-turn phase paths, a pair of symbols giving both values' matched filter outputs, and
// the decision made partly coherent with the carrier of the neighbouring bits.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "dsp/weak/air.h"
#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/soft_ring.h"

namespace nimbo::weak {

class ManchesterPairs {
  public:
    // A symbol ended at block index `last` of `in` (kCarry + the sample's place in the
    // block), `samples` after the one before. Writes the pair kDecisionDelay symbols back to
    // `ring`, once there is one. Returns true when it did.
    bool symbol(const Baseband& in, int last, int samples, CarrierLoop& carrier, SoftRing& ring);
    void reset() { *this = ManchesterPairs(); }

    static constexpr int kReferencePairs = 8; // bits either side in the carrier reference
    static constexpr int kDecisionDelay = 2 * kReferencePairs; // symbols: newest to decided

  private:
    static constexpr int kRing = 128;
    std::array<std::complex<float>, kRing> down_{}, up_{}, metric_{};
    // The carrier terms of the pairs ending at even and at odd symbols, kept apart and each
    // written twice, so that the kReferencePairs either side of a bit lie in a row.
    static constexpr int kPhaseRing = kRing / 2;
    std::array<std::array<float, 2 * kPhaseRing>, 2> carrierRe_{}, carrierIm_{};
    std::complex<float> carrierAt(int64_t symbol) const;
    std::array<uint8_t, kRing> clips_{};
    // Trust across the two symbols ending at each symbol (a bit further, fewer clicks in
    // them, more trust), and how many symbols since the last one with a click: none in the
    // reference's reach lets the fixed weights serve.
    std::array<float, kRing> trust_{};
    int sinceClick_ = kRing;
    int64_t index_ = -1; // symbols seen
};

} // namespace nimbo::weak
