// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's noise variance from Eb/N0, with and without the receiver model, and pulses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "tests/synth_signal.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {
using test::kRate;

TEST(SynthNoise, VarianceFollowsTheEbN0Definition) {
    const struct {
        bool ifSignal;
        double ebN0dB, amplitude, rate;
        bool rs41; // one symbol a bit: Rb = rate
    } cases[] = {{false, 20, 8000, 4800, false}, {false, 10, 3000, 4800, false},
                 {true, 15, 8000, 4800, false},  {true, 5, 2000, 5000, false},
                 {false, 10, 8000, 4800, true},  {true, 8, 6000, 4800, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ifSignal ? "IF " : "FM Det ") + std::to_string(c.ebN0dB) +
                     " dB" + (c.rs41 ? " RS41" : ""));
        SynthOptions o;
        if (c.rs41) {
            o.sonde = Sonde::Rs41;
            o.serial = "S1234567";
        }
        o.frames = 2;
        o.ifSignal = c.ifSignal;
        o.amplitude = c.amplitude;
        o.symbolRate = c.rate;
        o.ebN0dB = c.ebN0dB;
        o.audioNoise = true; // FM Det: the model that adds the noise to the samples
        SynthOptions clean = o;
        clean.ebN0dB = std::numeric_limits<double>::infinity();
        const auto noisy = synthesize(o), pure = synthesize(clean);
        ASSERT_EQ(noisy.size(), pure.size());

        // sigma^2 = Ps * 48000 / (2 * Rb * Eb/N0), Rb = rate / 2 (RS41: rate), Ps = A^2 (FM) or
        // A^2 / 2 (IF).
        const double ps = c.ifSignal ? c.amplitude * c.amplitude / 2 : c.amplitude * c.amplitude;
        const double rb = c.rs41 ? c.rate : c.rate / 2;
        const double expected = ps * 48000 / (2 * rb * std::pow(10.0, c.ebN0dB / 10));
        EXPECT_NEAR(noiseVariance(o), expected, expected * 1e-12);
        double sum[2] = {}, squares[2] = {}, cross = 0;
        const std::size_t n = noisy.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            const double d0 = noisy[2 * i] - pure[2 * i], d1 = noisy[2 * i + 1] - pure[2 * i + 1];
            sum[0] += d0;
            sum[1] += d1;
            squares[0] += d0 * d0;
            squares[1] += d1 * d1;
            cross += d0 * d1;
        }
        if (c.rs41) { // one sonde: the other channel is digital silence
            for (std::size_t i = 1; i < noisy.size(); i += 2)
                ASSERT_EQ(noisy[i], 0) << "sample " << i;
        }
        for (int ch = 0; ch < (c.rs41 ? 1 : 2); ++ch) {
            EXPECT_NEAR(squares[ch] / n, expected, 0.03 * expected) << "channel " << ch;
            EXPECT_NEAR(sum[ch] / n, 0.0, 0.02 * std::sqrt(expected)) << "channel " << ch;
        }
        EXPECT_LT(std::fabs(cross / n), 0.02 * expected) << "the channels' noise is independent";

        SynthOptions reseeded = o;
        reseeded.seed = o.seed + 1;
        EXPECT_EQ(synthesize(o), noisy) << "same seed, same signal";
        EXPECT_NE(synthesize(reseeded), noisy);
    }
}

TEST(SynthPulse, IdleLineAtSymbolCentresAndEdges) {
    // The idle line alternates 0,1,0,1... With square pulses the audio sits at +-amplitude;
    // Gaussian pulses (BT 0.5) sum at a symbol's centre to p(0) - 2 p(1) + 2 p(2) - ... =
    // 0.88160 of it, p(tau) = (erf(a (tau + 1/2)) - erf(a (tau - 1/2))) / 2 with
    // a = pi BT sqrt(2 / ln 2), and cross zero at the edges. The receiver model (no noise)
    // shows the same through its IF filter and discriminator, a few samples late.
    const struct {
        const char* name;
        bool square, audioNoise;
        double centre, edge; // magnitudes, fractions of the amplitude
        double tolerance;
    } cases[] = {
        {"Square", true, true, 1.0, 1.0, 0.5 / 8000},
        {"Gaussian", false, true, 0.88160, 0.0, 0.5 / 8000 + 1e-4},
        {"GaussianReceiver", false, false, 0.88160, 0.0, 0.03},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o;
        o.frames = 1;
        o.leadInSeconds = 0.1;
        o.squarePulses = c.square;
        o.audioNoise = c.audioNoise;
        const auto s = synthesize(o);
        // Symbols -100..-81 of the lead-in, 10 samples each: centres at sample 10 k + 5 and
        // edges at 10 k. The receiver model is late: take each symbol's extreme instead.
        const int64_t lead = std::llround(o.leadInSeconds * kRate);
        for (int64_t k = -100; k < -80; ++k) {
            const int64_t begin = lead + 10 * k;
            const double sign = (k & 1) ? 1.0 : -1.0;
            double peak = 0.0;
            for (int64_t m = begin; m < begin + 10; ++m)
                peak = std::max(peak, sign * s[2 * m]);
            if (c.audioNoise) peak = sign * s[2 * (begin + 5)];
            EXPECT_NEAR(peak / 8000, c.centre, c.tolerance) << k;
            if (c.audioNoise) {
                EXPECT_NEAR(std::fabs(s[2 * begin]) / 8000, c.edge, c.tolerance) << k;
            }
        }
    }
}

TEST(SynthNoise, ReceiverModelNoiseFollowsTheIfBandwidth) {
    // Above threshold the phase sees only the noise's quadrature half, so the discriminator's
    // frequency noise has the density (N0 / 2C) f^2 over the IF filter: variance
    // (N0 / 2C) * 2 fc^3 * (pi / 8) / sin(3 pi / 8) for a 4-pole Butterworth of cut-off fc,
    // with N0 / C = 1 / (Rb * Eb/N0). In audio units times (amplitude / deviation)^2.
    // At 30 dB: 74,722 Hz^2 -> 830,184.
    const double fc = 7500, rb = 2400, ebN0 = 1000;
    const double hz2 =
        fc * fc * fc * (std::numbers::pi / 8) / std::sin(3 * std::numbers::pi / 8) / (rb * ebN0);
    const double expected = hz2 * (8000.0 / 2400) * (8000.0 / 2400);
    SynthOptions o;
    o.frames = 2;
    o.ebN0dB = 30;
    SynthOptions clean = o;
    clean.ebN0dB = std::numeric_limits<double>::infinity();
    const auto noisy = synthesize(o), pure = synthesize(clean);
    double squares = 0;
    const std::size_t n = noisy.size() / 2;
    for (std::size_t i = 0; i < n; ++i)
        squares += std::pow(noisy[2 * i] - pure[2 * i], 2);
    EXPECT_NEAR(squares / n, expected, 0.1 * expected);
    EXPECT_NEAR(rfNoiseVariance(o), 48000 / (rb * ebN0), 1e-12);
}

} // namespace
} // namespace nimbo::synth
