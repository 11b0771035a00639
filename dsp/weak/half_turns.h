// One symbol's baseband correlated with the two half-turn phase paths a symbol can take
// (up and down by half a turn), turned back by the fine carrier loop's correction: what both
// the Manchester pairs and the NRZ bits decide on.
#pragma once

#include <complex>

#include "dsp/weak/air.h"
#include "dsp/weak/carrier_loop.h"

namespace nimbo::weak {

struct HalfTurns {
    std::complex<float> down, up; // sum z e^{j a} and sum z e^{-j a}, a = pi (i + 1/2) / N
    int clips;                    // discriminator clicks within the symbol
};

// The symbol ending at block index `last` of `in`, `samples` after the one before (the
// carrier loop advances by them first).
HalfTurns halfTurns(const Baseband& in, int last, int samples, CarrierLoop& carrier);

} // namespace nimbo::weak
