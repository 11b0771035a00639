// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/eye.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace nimbo::weak {
namespace {

const std::array<float, kSamplesPerSymbol> kCos = halfTurn(false);
const std::array<float, kSamplesPerSymbol> kSin = halfTurn(true);

// The carrier's square follows the symbols' within about 4 symbols (the FM Det phase wanders
// between clicks; slower made the eye at 11 dB blurrier), turned on by its mean turn per
// symbol (over about 32) so that an offset the receiver's loops leave does not make it lag.
constexpr double kSquareGain = 1.0 / 4.0;
constexpr double kTurnGain = 1.0 / 32.0;
// The signal's power per sample, learned over about 1000 samples.
constexpr double kLevelGain = 1.0 / 1024.0;

} // namespace

// A Manchester bit starts and ends on the carrier's phase and passes the opposite one
// half-way, so every symbol starts at +-carrier: the square of its path's correlation (the
// other path's is zero) is the carrier squared whatever the bits.
void Eye::track(std::complex<double> square) {
    turn_ += (square * std::conj(lastSquare_) - turn_) * kTurnGain;
    lastSquare_ = square;
    if (std::abs(turn_) > 0.0) square_ *= turn_ / std::abs(turn_);
    square_ += (square - square_) * kSquareGain;
    std::complex<double> c = std::sqrt(square_);
    if (std::real(c * std::conj(carrier_)) < 0.0) c = -c; // the root nearer the last one
    if (std::abs(c) > 0.0) carrier_ = c / std::abs(c);
}

void Eye::process(const float* re, const float* im, const uint8_t* ticks) {
    std::copy(re_.end() - kTail, re_.end(), re_.begin());
    std::copy(im_.end() - kTail, im_.end(), im_.begin());
    std::copy_n(re, kBlockSamples, re_.begin() + kTail);
    std::copy_n(im, kBlockSamples, im_.begin() + kTail);
    std::copy_n(ticks, kBlockSamples, ticks_.begin());

    for (int i = 0; i < kBlockSamples; ++i) {
        // The symbol that ended at the sample before: at a tick, the one just decided.
        const float* zr = &re_[static_cast<std::size_t>(i)];
        const float* zi = &im_[static_cast<std::size_t>(i)];
        float rc = 0.0f, is = 0.0f, rs = 0.0f, ic = 0.0f, energy = 0.0f;
        for (int k = 0; k < kSamplesPerSymbol; ++k) {
            rc += zr[k] * kCos[k];
            is += zi[k] * kSin[k];
            rs += zr[k] * kSin[k];
            ic += zi[k] * kCos[k];
            energy += zr[k] * zr[k] + zi[k] * zi[k];
        }
        const std::complex<double> up(rc + is, ic - rs), down(rc - is, rs + ic);
        const double power = energy / kSamplesPerSymbol;
        level_ = level_ > 0.0 ? level_ + (power - level_) * kLevelGain : power;
        if (ticks[i]) track(up * up + down * down);
        // A rising symbol from the carrier and a falling one from its opposite (the two
        // halves of one bit) both give +N times the amplitude.
        const double s = std::real((up - down) * std::conj(carrier_));
        signal_[static_cast<std::size_t>(i)] =
            level_ > 0.0 ? kLevel * s / (kSamplesPerSymbol * std::sqrt(level_)) : 0.0;
    }

    // Traces left out become NaN; the first sample of the trace after a kept one stays, for
    // the kept one's last segment.
    int tickCount = 0, trace = -1;
    bool kept = false;
    for (int i = 0; i < kBlockSamples; ++i) {
        const bool keptBefore = kept;
        if (ticks[i] && ++tickCount >= kTicksPerTrace) {
            tickCount = 0;
            kept = ++trace % kTraceStep == 0;
        }
        if (!kept && !keptBefore)
            signal_[static_cast<std::size_t>(i)] = std::numeric_limits<double>::quiet_NaN();
    }
}

} // namespace nimbo::weak
