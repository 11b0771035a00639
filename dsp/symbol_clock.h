// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol clock: a narrow two-pole resonator at 4800 Hz fed with the rectified signal.
#pragma once

#include <cmath>
#include <numbers>

#include "dsp/signal.h"

namespace nimbo {

struct SymbolClock {
    static constexpr double kCentreHz = 4800.0; // symbol rate
    static constexpr double kBandwidthHz = 1.0; // sets the pole radius
    static constexpr double kGainScale = 1e-06; // only the sign of the output is used

    double c1 = 2.0 * std::exp(-std::numbers::pi * kBandwidthHz * samplePeriod) *
                std::cos(2.0 * std::numbers::pi * kCentreHz * samplePeriod);
    double c2 = -std::exp(-2.0 * std::numbers::pi * kBandwidthHz * samplePeriod);
    double g = std::sin(2.0 * std::numbers::pi * kCentreHz * samplePeriod) * kGainScale;

    double z1 = 0.0, z2 = 0.0; // last and one-before-last resonator outputs
    int previousSign = 0;      // 0 only before the first sample

    // Back to rest, as before the first sample.
    void reset() { *this = SymbolClock{}; }

    // One sample of the DC-blocked signal; true when the clock ticks (upward zero crossing).
    bool step(double y) {
        const double r = std::fabs(y);
        const double z = c1 * z1 + (g * r + c2 * z2);
        z2 = z1;
        z1 = z;
        const int s = z < 0.0 ? -1 : 1;
        const bool tick = previousSign < s;
        previousSign = s;
        return tick;
    }
};

} // namespace nimbo
