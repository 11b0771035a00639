// SPDX-License-Identifier: GPL-3.0-or-later
// The three 51-tap FIR filters of the receiver front end, as fixed tables.
#pragma once

#include <array>

namespace nimbo {

inline constexpr int kFirTaps = 51;
using FirTaps = std::array<double, kFirTaps>;

// Band-pass 9.5..14.5 kHz at 48 kHz (12 kHz IF path only). Symmetric.
extern const FirTaps bandPassTaps;
// 90-degree phase shifter, 2..22 kHz, output aligned with tap 25. Antisymmetric.
extern const FirTaps hilbertTaps;
// Low-pass, half amplitude at 3200 Hz, DC gain 1.0007. Symmetric.
extern const FirTaps lowPassTaps;

} // namespace nimbo
