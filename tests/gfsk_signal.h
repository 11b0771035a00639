// SPDX-License-Identifier: GPL-3.0-or-later
// A sonde's downlink made from first principles for stage tests: random bits, Manchester
// symbols, Gaussian-filtered frequency pulses, complex baseband at 48 kHz with white noise.
#pragma once

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace nimbo::test {

struct Baseband {
    std::vector<float> re, im;
};

struct GfskParams {
    double symbolRate = 4800.0;   // symbols per second (two per data bit)
    double deviationHz = 2400.0;  // h = 2 * deviation / symbolRate = 1
    double offsetHz = 0.0;        // carrier relative to 0 Hz
    double ebN0Db = 100.0;        // per data bit for a signal of amplitude 1; >= 100: no noise
    double signalAmplitude = 1.0; // 0 leaves the noise alone
    double toneAmplitude = 0.0;   // an unmodulated carrier added at toneHz (a spur)
    double toneHz = 0.0;
    bool modulated = true; // false: the carrier alone, no data
};

// BT 0.5 Gaussian filter applied to a rectangular frequency pulse one symbol long:
// g(t) = Phi((t + T/2) / s) - Phi((t - T/2) / s), s = sqrt(ln 2) / (2 pi B), B = 0.5 / T.
inline double gaussianPulse(double tSymbols) {
    const double s = std::sqrt(std::log(2.0)) / (2.0 * std::numbers::pi * 0.5);
    const auto phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    return phi((tSymbols + 0.5) / s) - phi((tSymbols - 0.5) / s);
}

inline Baseband makeGfsk(const GfskParams& p, int samples, unsigned seed) {
    constexpr double fs = 48000.0;
    constexpr double twoPi = 2.0 * std::numbers::pi;
    constexpr int kSpan = 3; // pulse tails beyond three symbols are below 1e-9
    // The pulse tabulated every 1/1024 symbol over -kSpan-1 .. kSpan+1, read linearly.
    constexpr int kSteps = 1024;
    static const std::vector<double> pulse = [] {
        std::vector<double> t(2 * (kSpan + 1) * kSteps + 2);
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = gaussianPulse(static_cast<double>(i) / kSteps - (kSpan + 1));
        return t;
    }();
    const auto pulseAt = [](double tSymbols) {
        const double x = (tSymbols + kSpan + 1) * kSteps;
        const auto i = static_cast<std::size_t>(x);
        return pulse[i] + (x - i) * (pulse[i + 1] - pulse[i]);
    };
    std::mt19937 rng(seed);
    const double sps = fs / p.symbolRate;
    const int symbols = static_cast<int>(samples / sps) + 2 * kSpan + 2;
    std::vector<int> sym(symbols);
    for (int k = 0; k + 1 < symbols; k += 2) {
        const int bit = static_cast<int>(rng() & 1u);
        sym[k] = bit ? 1 : -1;
        sym[k + 1] = -sym[k];
    }
    const double sigma2 =
        p.ebN0Db >= 100.0 ? 0.0 : fs / (p.symbolRate / 2.0 * std::pow(10.0, p.ebN0Db / 10.0));
    std::uniform_real_distribution<double> startPhase(0.0, twoPi);
    double phase = startPhase(rng);
    double tonePhase = startPhase(rng);
    Baseband out{std::vector<float>(samples), std::vector<float>(samples)};
    for (int n = 0; n < samples; ++n) {
        // Symbol k is centred at (k - kSpan + 0.5) symbols: the first kSpan are lead-in.
        const double t = n / sps + kSpan;
        double f = 0.0;
        if (p.modulated) {
            const int k0 = static_cast<int>(t);
            for (int k = k0 - kSpan; k <= k0 + kSpan; ++k)
                f += sym[k] * pulseAt(t - (k + 0.5));
        }
        // Complex Gaussian noise by Box-Muller: radius^2 exponential with mean sigma2.
        const double u = (rng() + 1.0) / 4294967296.0; // (0, 1]
        const double radius = std::sqrt(-sigma2 * std::log(u));
        const double angle = twoPi * rng() / 4294967296.0;
        double re = p.signalAmplitude * std::cos(phase) + radius * std::cos(angle);
        double im = p.signalAmplitude * std::sin(phase) + radius * std::sin(angle);
        if (p.toneAmplitude != 0.0) {
            re += p.toneAmplitude * std::cos(tonePhase);
            im += p.toneAmplitude * std::sin(tonePhase);
        }
        out.re[n] = static_cast<float>(re);
        out.im[n] = static_cast<float>(im);
        phase = std::fmod(phase + twoPi * (p.offsetHz + p.deviationHz * f) / fs, twoPi);
        tonePhase = std::fmod(tonePhase + twoPi * p.toneHz / fs, twoPi);
    }
    return out;
}

} // namespace nimbo::test
