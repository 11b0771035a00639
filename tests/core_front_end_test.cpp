// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver front end: channel pick, both demodulation paths, DC block, clock ticks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "dsp/filter_taps.h"
#include "dsp/front_end.h"

namespace nimbo {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFs = 48000.0;

// DC-block coefficients as designed (10 Hz Butterworth high-pass at 48 kHz).
constexpr double kA1 = 1.9981488, kA2 = -0.99815051;
constexpr double kB0 = 0.99907483, kB1 = -1.99814966, kB2 = 0.99907483;

// One capture buffer from two sample sequences starting at sample `first`.
std::vector<int16_t> stereoBlock(const std::vector<double>& left, const std::vector<double>& right,
                                 size_t first) {
    std::vector<int16_t> pcm(2 * kBlockSamples); // exactly one buffer: overreads trip ASan
    auto clip = [](double v) {
        return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    };
    for (int i = 0; i < kBlockSamples; ++i) {
        pcm[2 * i] = left.empty() ? 0 : clip(left[first + i]);
        pcm[2 * i + 1] = right.empty() ? 0 : clip(right[first + i]);
    }
    return pcm;
}

// A tone whose frequency may change per sample, with continuous phase.
std::vector<double> tone(size_t n, double amplitude, double startPhase, auto frequencyAt) {
    std::vector<double> s(n);
    double phase = startPhase;
    for (size_t i = 0; i < n; ++i) {
        s[i] = amplitude * std::cos(phase);
        phase += 2.0 * kPi * frequencyAt(i) / kFs;
    }
    return s;
}

// Recovers the DC block's input from its output, given the filter state at the start.
std::vector<double> undoDcBlock(const std::array<double, kBlockSamples>& y, double w1, double w2) {
    std::vector<double> x(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i) {
        const double w0 = (y[i] - kB1 * w1 - kB2 * w2) / kB0;
        x[i] = w0 - kA1 * w1 - kA2 * w2;
        w2 = w1;
        w1 = w0;
    }
    return x;
}

// FM Det path written plainly: shifted delay line, low-pass, optional negation,
// DC block, then the resonator clock on the rectified output.
struct FmDetReference {
    double delay[kFirTaps] = {};
    double w1 = 0, w2 = 0;
    double z1 = 0, z2 = 0;
    int previousSign = 0;
    const double c1 = 2.0 * std::exp(-kPi / kFs) * std::cos(2.0 * kPi * 4800.0 / kFs);
    const double c2 = -std::exp(-2.0 * kPi / kFs);
    const double g = std::sin(2.0 * kPi * 4800.0 / kFs) * 1e-06;

    double step(double x, bool& tick) {
        for (int j = kFirTaps - 1; j > 0; --j)
            delay[j] = delay[j - 1];
        delay[0] = x;
        double lp = 0.0;
        for (int j = 0; j < kFirTaps; ++j)
            lp += lowPassTaps[j] * delay[j];
        const double w0 = kA1 * w1 + lp + kA2 * w2;
        const double y = kB0 * w0 + kB1 * w1 + kB2 * w2;
        w2 = w1;
        w1 = w0;
        const double z = g * std::fabs(y) + c1 * z1 + c2 * z2;
        z2 = z1;
        z1 = z;
        const int s = z < 0 ? -1 : 1;
        tick = previousSign < s;
        previousSign = s;
        return y;
    }
};

TEST(FrontEnd, FmDetMatchesPlainChainAcrossBlocks) {
    const int blocks = 3;
    std::vector<double> left(blocks * kBlockSamples);
    unsigned seed = 7;
    for (size_t i = 0; i < left.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        left[i] = 9000.0 * std::sin(2 * kPi * 2400.0 * i / kFs) +
                  4000.0 * std::sin(2 * kPi * 37.0 * i / kFs) + 1500.0 +
                  static_cast<double>((seed >> 16) % 2001) - 1000.0;
    }
    Receiver rx;
    FmDetReference ref;
    int ticks = 0;
    for (int b = 0; b < blocks; ++b) {
        const auto pcm = stereoBlock(left, {}, b * kBlockSamples);
        rx.processBlock(pcm.data(), ReceiverSettings{});
        for (int i = 0; i < kBlockSamples; ++i) {
            bool tick = false;
            const double expected = ref.step(pcm[2 * i], tick);
            ASSERT_NEAR(rx.demodSignal()[i], expected, 1e-6 * (1.0 + std::fabs(expected)))
                << "block " << b << " sample " << i;
            ASSERT_EQ(rx.symbolTicks()[i], tick ? 1 : 0) << "block " << b << " sample " << i;
            ticks += tick;
        }
    }
    // A strong signal keeps the clock going at about one tick per 10 samples.
    EXPECT_GT(ticks, blocks * kBlockSamples / 20);
}

TEST(FrontEnd, SymbolInvNegatesFmDetOnly) {
    const auto left = tone(2 * kBlockSamples, 12000.0, 0.3, [](size_t i) {
        return 11000.0 + 3000.0 * std::sin(2 * kPi * 50.0 * i / kFs);
    });
    // A DemodType other than 0 and 1 (hand-edited settings) is FM Det, as the dialog shows it.
    for (int demodType : {0, 1, 2}) {
        SCOPED_TRACE(demodType);
        Receiver plain, inverted;
        for (int b = 0; b < 2; ++b) {
            const auto pcm = stereoBlock(left, {}, b * kBlockSamples);
            plain.processBlock(pcm.data(), ReceiverSettings{demodType, 0, false});
            inverted.processBlock(pcm.data(), ReceiverSettings{demodType, 0, true});
            for (int i = 0; i < kBlockSamples; ++i) {
                const double expected =
                    demodType != 1 ? -plain.demodSignal()[i] : plain.demodSignal()[i];
                ASSERT_EQ(inverted.demodSignal()[i], expected) << "block " << b << " sample " << i;
            }
        }
    }
}

TEST(FrontEnd, InputChannelPicksOneWordOfEachFrame) {
    std::vector<double> left(kBlockSamples), right(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i) {
        left[i] = (i % 100) * 300 - 15000;
        right[i] = -(i % 77) * 400 + 20000;
    }
    const auto pcm = stereoBlock(left, right, 0);
    struct Case {
        int inputCh;
        bool right;
    };
    // Only 1 selects the right word; anything else from a hand-edited setting reads left.
    for (const Case c : {Case{0, false}, Case{1, true}, Case{2, false}, Case{-1, false},
                         Case{7, false}, Case{INT_MIN, false}, Case{INT_MAX, false}}) {
        SCOPED_TRACE(c.inputCh);
        Receiver rx;
        rx.processBlock(pcm.data(), ReceiverSettings{0, c.inputCh, false});
        const auto& expected = c.right ? right : left;
        for (int i = 0; i < kBlockSamples; ++i)
            ASSERT_EQ(rx.sampleBlock()[i], expected[i]) << i;
    }

    // A signal on the left alone is silence for the right channel, in both paths.
    for (int demodType : {0, 1}) {
        Receiver rx;
        const auto leftOnly = stereoBlock(left, {}, 0);
        rx.processBlock(leftOnly.data(), ReceiverSettings{demodType, 1, false});
        for (int i = 0; i < kBlockSamples; ++i)
            ASSERT_EQ(rx.sampleBlock()[i], 0.0) << i;
        if (demodType == 0) {
            for (int i = 0; i < kBlockSamples; ++i)
                ASSERT_EQ(rx.demodSignal()[i], 0.0) << i;
        }
    }
}

TEST(FrontEnd, SilenceTicksOnlyAtTheVeryFirstSample) {
    Receiver rx;
    const std::vector<int16_t> silence(2 * kBlockSamples, 0);
    for (int b = 0; b < 3; ++b) {
        rx.processBlock(silence.data(), ReceiverSettings{});
        for (int i = 0; i < kBlockSamples; ++i) {
            ASSERT_EQ(rx.demodSignal()[i], 0.0);
            ASSERT_EQ(rx.symbolTicks()[i], (b == 0 && i == 0) ? 1 : 0) << b << " " << i;
        }
    }
    EXPECT_EQ(rx.sync().symbolCount(), 1); // one symbol decided in all
}

TEST(FrontEnd, IfSilenceIsAConstantBelowTheCarrier) {
    // No I and Q means phase 0 throughout (and 0 before the first sample), so the
    // phase step is 0: pi/2 short of the carrier step, -12566.37 after scaling.
    Receiver rx;
    const std::vector<int16_t> silence(2 * kBlockSamples, 0);
    rx.processBlock(silence.data(), ReceiverSettings{1, 0, false});
    const auto lowPassOut = undoDcBlock(rx.demodSignal(), 0.0, 0.0);
    const double v = -kPi / 2 * 8000.0;
    EXPECT_NEAR(v, -12566.37, 0.01);
    double partialSum = 0.0;
    for (int i = 0; i < kBlockSamples; ++i) {
        if (i < kFirTaps) partialSum += lowPassTaps[i];
        ASSERT_NEAR(lowPassOut[i], v * partialSum, 1e-3) << i;
    }
    EXPECT_NEAR(rx.demodSignal()[0], kB0 * lowPassTaps[0] * v, 1e-9);
    EXPECT_NEAR(lowPassOut[kBlockSamples - 1], v * 1.0007, 1.0);
    EXPECT_EQ(rx.lastPhase(), 0.0);
}

TEST(FrontEnd, IfToneSettlesAtZeroAndAStepOfOneKilohertzShowsAs1048) {
    // 12 kHz for 3.5 blocks, then 13 kHz, continuous phase; the step lies mid block 3.
    const int blocks = 5;
    const size_t stepAt = 3 * kBlockSamples + kBlockSamples / 2;
    const auto left = tone(blocks * kBlockSamples, 15000.0, 0.3,
                           [&](size_t i) { return i < stepAt ? 12000.0 : 13000.0; });
    Receiver rx;
    const ReceiverSettings ifPath{1, 0, false};
    std::vector<double> lowPassOut; // low-pass output of blocks 3 and 4
    for (int b = 0; b < blocks; ++b) {
        const double w1 = rx.dcW1(), w2 = rx.dcW2();
        const auto pcm = stereoBlock(left, {}, b * kBlockSamples);
        rx.processBlock(pcm.data(), ifPath);
        if (b == 2) {
            // After 0.3 s of a steady carrier the output has settled at 0.
            for (int i = 0; i < kBlockSamples; ++i)
                ASSERT_NEAR(rx.demodSignal()[i], 0.0, 0.5) << i;
        }
        if (b >= 3) {
            const auto x = undoDcBlock(rx.demodSignal(), w1, w2);
            lowPassOut.insert(lowPassOut.end(), x.begin(), x.end());
        }
    }

    // 1000 Hz of deviation: 2 pi 1000 / 48000 rad per sample, times 8000, times the
    // low-pass DC gain.
    const double expectedStep = 2 * kPi * 1000.0 / kFs * 8000.0 * 1.0007;
    const size_t step = stepAt - 3 * kBlockSamples; // index in lowPassOut
    for (size_t i = 0; i + 100 < step; ++i)
        ASSERT_NEAR(lowPassOut[i], 0.0, 1.0) << i;
    // Band-pass, Hilbert centre and low-pass centre: 75 samples to the half-way point.
    EXPECT_LT(lowPassOut[step + 70], expectedStep / 2);
    EXPECT_GT(lowPassOut[step + 80], expectedStep / 2);
    // Steady across the block boundary: every filter and the phase carry over.
    for (size_t i = step + 150; i < lowPassOut.size(); ++i)
        ASSERT_NEAR(lowPassOut[i], expectedStep, 1.5) << i;

    // After the DC block the step shows as the step response of a 10 Hz Butterworth
    // high-pass: exp(-a t) (cos a t - sin a t), a = 2 pi 10 / sqrt 2, from the
    // half-way point on.
    Receiver again;
    for (int b = 0; b < 4; ++b) {
        const auto pcm = stereoBlock(left, {}, b * kBlockSamples);
        again.processBlock(pcm.data(), ifPath);
    }
    const double a = 2 * kPi * 10.0 / std::sqrt(2.0);
    for (int k : {25, 200, 480, 1200, 2300}) {
        const double t = k / kFs;
        const double h = std::exp(-a * t) * (std::cos(a * t) - std::sin(a * t));
        EXPECT_NEAR(again.demodSignal()[step + 75 + k] / expectedStep, h, 0.02) << k;
    }
}

} // namespace
} // namespace nimbo
