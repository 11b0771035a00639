// SPDX-License-Identifier: GPL-3.0-or-later
// Quick trigonometry for the weak-signal receiver's loops: short series where the angle is
// known to be small, an arc tangent good to about 0.005 radians.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

namespace nimbo::weak {

// Cosine and sine of a small angle (limited to 1.5 radians) by short series.
inline double smallCos(double radians) {
    const double a = std::clamp(radians, -1.5, 1.5), a2 = a * a;
    return 1.0 - a2 * (0.5 - a2 * (1.0 / 24.0 - a2 * (1.0 / 720.0)));
}
inline double smallSin(double radians) {
    const double a = std::clamp(radians, -1.5, 1.5), a2 = a * a;
    return a * (1.0 - a2 * (1.0 / 6.0 - a2 * (1.0 / 120.0 - a2 * (1.0 / 5040.0))));
}

// The angle of z to within about 0.005 radians, exact at 0 and at the axes: enough for the
// slow loops it steers, which settle where the angle is zero.
inline float quickAngle(std::complex<float> z) {
    const float x = z.real(), y = z.imag();
    const float ax = std::abs(x), ay = std::abs(y);
    if (ax == 0.0f && ay == 0.0f) return 0.0f;
    const float r = std::min(ax, ay) / std::max(ax, ay);
    float a = r * (0.97239411f - 0.19194795f * r * r);
    if (ay > ax) a = std::numbers::pi_v<float> / 2.0f - a;
    if (x < 0.0f) a = std::numbers::pi_v<float> - a;
    return y < 0.0f ? -a : a;
}

// A unit phasor turned step by step, kept on the unit circle.
struct Phasor {
    double re = 1.0, im = 0.0;
    void turn(double c, double s) {
        const double r = re * c - im * s, i = re * s + im * c;
        const double fix = 1.5 - 0.5 * (r * r + i * i);
        re = r * fix;
        im = i * fix;
    }
};

// Phases as fractions of a turn in 32 bits: sums wrap round the circle by themselves.
inline constexpr double kPhaseUnitsPerRadian = 4294967296.0 / (2.0 * std::numbers::pi);

// Cosine and sine of a phase in 32-bit turns, to about 1e-7, without branches (so that
// loops over blocks vectorise): the nearest quarter turn, then short series on the rest
// (within an eighth of a turn).
inline void sinCosTurns(uint32_t phase, float& c, float& s) {
    const uint32_t quarter = (phase + (1u << 29)) >> 30;
    const auto rest = static_cast<int32_t>(phase - (quarter << 30));
    const float x = static_cast<float>(rest) * static_cast<float>(1.0 / kPhaseUnitsPerRadian);
    const float x2 = x * x;
    const float sx = x * (1.0f - x2 * (1.0f / 6.0f - x2 * (1.0f / 120.0f - x2 * (1.0f / 5040.0f))));
    const float cx =
        1.0f - x2 * (0.5f - x2 * (1.0f / 24.0f - x2 * (1.0f / 720.0f - x2 * (1.0f / 40320.0f))));
    const bool odd = (quarter & 1u) != 0, negCos = ((quarter + 1u) & 2u) != 0,
               negSin = (quarter & 2u) != 0;
    const float cc = odd ? sx : cx, ss = odd ? cx : sx;
    c = negCos ? -cc : cc;
    s = negSin ? -ss : ss;
}

} // namespace nimbo::weak
