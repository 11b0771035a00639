// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/carrier_loop.h"

#include <algorithm>
#include <numbers>

#include "dsp/weak/air.h"

namespace nimbo::weak {
namespace {

// Gain per bit: slow beside the 64-bit mean of its input.
constexpr double kGain = 0.004;
constexpr double kPerSample = 1.0 / (2.0 * kSamplesPerSymbol); // a bit is two symbols
constexpr double kMaxStep = 2.0 * std::numbers::pi * CarrierLoop::kMaxHz / kSampleRate;

} // namespace

void CarrierLoop::advance(int samples) {
    if (step_ == 0.0) return;
    // Mostly a few thousandths of a radian a symbol, where short series do.
    const double a = -step_ * samples, a2 = a * a;
    if (a2 < 0.0025)
        back_.turn(1.0 - 0.5 * a2, a * (1.0 - a2 * (1.0 / 6.0)));
    else
        back_.turn(smallCos(a), smallSin(a));
}

void CarrierLoop::steer(float bitTurn) {
    const double radiansPerSample = bitTurn * kPerSample;
    const double total = std::clamp(total_ + kGain * radiansPerSample, -kMaxStep, kMaxStep);
    step_ += total - total_;
    total_ = total;
}

double CarrierLoop::handOver() {
    const double s = step_;
    step_ = 0.0;
    return s;
}

} // namespace nimbo::weak
