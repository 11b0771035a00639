// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's symbol timing on Manchester symbols, and its carrier loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/symbol_timing.h"
#include "tests/gfsk_signal.h"

namespace nimbo {
namespace {
using namespace weak;
constexpr double kPi = std::numbers::pi;
using Cf = std::complex<float>;

// Symbol-averaged frequency of Manchester symbols `period` samples long, the first starting
// at sample `start`: square, or Gaussian-filtered (BT 0.5) as sent.
std::vector<float> manchesterFreq(int samples, double period, double start, bool gaussian,
                                  double dc, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<int> sym(static_cast<std::size_t>(samples / period) + 8);
    for (std::size_t k = 0; k + 1 < sym.size(); k += 2) {
        sym[k] = (rng() & 1u) ? 1 : -1;
        sym[k + 1] = -sym[k];
    }
    std::vector<float> f(static_cast<std::size_t>(samples));
    for (int n = 0; n < samples; ++n) {
        const double t = (n + 0.5 - start) / period; // symbols since the first one began
        double v = 0.0;
        if (!gaussian) {
            v = t < 0.0 ? 0.0 : sym[static_cast<std::size_t>(t)];
        } else {
            for (int k = static_cast<int>(std::floor(t)) - 3; k <= static_cast<int>(t) + 3; ++k)
                if (k >= 0)
                    v += sym[static_cast<std::size_t>(k)] * test::gaussianPulse(t - k - 0.5);
        }
        f[static_cast<std::size_t>(n)] = static_cast<float>(v + dc);
    }
    return f;
}

// The end of the symbol nearest the tick on sample t, symbols starting at `start`.
double symbolEnd(int64_t t, double start, double period) {
    return start + period * std::round((static_cast<double>(t) + 1 - start) / period);
}

// Every tick falls on the last sample of a symbol (within one), and the period is the rate's;
// also with the loop narrowed from the third block on, as once the frame sync holds.
TEST(SymbolTiming, TicksSettleOnTheSymbolEnds) {
    struct Row {
        bool gaussian;
        double rate, start, dc;
        bool locked = false;
    };
    const Row rows[] = {
        {false, 4800, 4, 0.0}, // the last sample of each symbol is 10k + 3
        {false, 4800, 0, 0.3},      {true, 4800, 7, 0.0},       {true, 4800, 2.6, -0.2},
        {true, 4750, 2, 0.0},       {true, 4870, 5, 0.0},       {false, 4720, 9, 0.0},
        {true, 4800, 7, 0.0, true}, {true, 4730, 2, 0.0, true}, {true, 4880, 5, 0.0, true},
    };
    constexpr int kBlocks = 12;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.gaussian ? "Gaussian " : "square ") << row.rate << " start "
                     << row.start << " dc " << row.dc << (row.locked ? " locked" : ""));
        const double period = kSampleRate / row.rate;
        const std::vector<float> f =
            manchesterFreq(kBlocks * kBlockSamples, period, row.start, row.gaussian, row.dc, 5);
        SymbolTiming timing;
        for (int b = 0; b < kBlocks; ++b) {
            timing.process(f.data() + b * kBlockSamples, row.locked && b >= 3);
            if (b < kBlocks / 2) continue;
            const int64_t blockStart = timing.samplesDone() - kBlockSamples;
            std::vector<int64_t> marks; // the eye marks the sample that completed each tick
            for (int i = 0; i < kBlockSamples; ++i)
                if (timing.eyeTicks()[i]) marks.push_back(blockStart + i);
            ASSERT_EQ(marks.size(), timing.ticks().size());
            for (std::size_t j = 0; j < marks.size(); ++j) {
                const int64_t t = timing.ticks()[j];
                const double end = symbolEnd(t, row.start, period);
                const auto last = static_cast<int64_t>(std::ceil(end - 0.5)) - 1; // centre < end
                ASSERT_LE(std::abs(t - last), 1) << t;
                ASSERT_TRUE(marks[j] == t || marks[j] == t + 1) << t;
            }
            EXPECT_NEAR(static_cast<double>(marks.size()), kBlockSamples / period, 1.0);
        }
        EXPECT_NEAR(timing.period(), period, 0.001 * period);
        // A square symbol of +-1 sums to +-10 over its samples.
        if (!row.gaussian && row.rate == 4800) {
            EXPECT_NEAR(timing.symbolLevel(), 10.0, 0.3);
        }
    }
}

// In noise (Gaussian symbols, white noise twice the deviation on every sample) the ticks
// wander about the symbol ends; once the frame sync holds, the narrowed loop lets them wander
// less (the spread about their mean: whole samples, so never under about 0.3), and a clock
// 1 % fast is still followed.
TEST(SymbolTiming, LockedClockWandersLess) {
    constexpr int kBlocks = 40;
    for (const double rate : {4790.0, 4848.0}) {
        SCOPED_TRACE(rate);
        const double period = kSampleRate / rate;
        std::vector<float> f = manchesterFreq(kBlocks * kBlockSamples, period, 3.0, true, 0.0, 9);
        std::mt19937 rng(4);
        std::normal_distribution<float> noise(0.0f, 2.0f);
        for (float& v : f)
            v += noise(rng);
        const auto wander = [&](bool locked) {
            SymbolTiming timing;
            double sum = 0.0, sum2 = 0.0;
            int count = 0;
            for (int b = 0; b < kBlocks; ++b) {
                timing.process(f.data() + b * kBlockSamples, locked && b >= 10);
                for (const int64_t t : timing.ticks()) {
                    if (b < 15) continue;
                    const double end = symbolEnd(t, 3.0, period);
                    const double off = static_cast<double>(t) + 0.5 - (end - 0.5);
                    sum += off;
                    sum2 += off * off;
                    ++count;
                }
            }
            return std::sqrt(sum2 / count - (sum / count) * (sum / count));
        };
        const double searching = wander(false), locked = wander(true);
        EXPECT_LT(searching, 1.5);
        EXPECT_LT(locked, 0.9 * searching) << searching;
    }
}

// Carrier terms turning by w a sample, derotated by the loop and by what it handed to the
// front end, make the correction w (up to the limit); the hand-overs add up to it.
TEST(CarrierLoop, CorrectionSettlesOnTheTurnAndIsHandedOverOnce) {
    const double kMax = 2.0 * kPi * CarrierLoop::kMaxHz / kSampleRate;
    for (const double w : {0.02, -0.03, 0.0, 0.001, 0.144, -0.144}) {
        SCOPED_TRACE(w);
        CarrierLoop loop;
        double front = 0.0, frontPhase = 0.0, handed = 0.0;
        std::array<Cf, 2> earlier{};
        for (int s = 0; s < 40 * 480; ++s) {
            frontPhase += front * kSamplesPerSymbol;
            const double phase = w * kSamplesPerSymbol * s + 0.4 - frontPhase;
            loop.advance(kSamplesPerSymbol);
            const Cf z = loop.derotate(std::polar(1.0f, static_cast<float>(phase)));
            if (s >= 2) loop.measure(z, earlier[s & 1]);
            earlier[s & 1] = z;
            if (s % 480 == 479) { // a block's end: the front end takes over
                const double h = loop.handOver();
                handed += h;
                front += h;
            }
        }
        EXPECT_NEAR(loop.correction(), std::clamp(w, -kMax, kMax), 1e-4);
        EXPECT_NEAR(handed, loop.correction(), 1e-12);
        EXPECT_EQ(loop.handOver(), 0.0);
    }
}

} // namespace
} // namespace nimbo
