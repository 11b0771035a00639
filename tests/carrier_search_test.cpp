// SPDX-License-Identifier: GPL-3.0-or-later
// The coarse carrier search on complex baseband made from random bits: the carrier found
// over the whole range at the weakest usable signal, spurs and plain tones not taken for it.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/weak/carrier_search.h"
#include "dsp/weak/fft.h"
#include "tests/gfsk_signal.h"

namespace nimbo {
namespace {
using weak::CarrierSearch;
using weak::Fft;

constexpr int kHalfSecond = kSampleRate / 2;
constexpr double kClean = 200.0; // Eb/N0 that means no noise at all

struct Estimate {
    bool ready;
    double offsetHz, peakToMean;
};

Estimate search(const test::Baseband& b, double maxOffsetHz) {
    CarrierSearch s(maxOffsetHz);
    s.process(b.re.data(), b.im.data(), static_cast<int>(b.re.size()));
    return {s.ready(), s.offsetHz(), s.peakToMean()};
}

TEST(Fft, MatchesTheDiscreteFourierTransformBySum) {
    constexpr int N = 1024;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::array<float, N> re{}, im{};
    for (int n = 0; n < N; ++n)
        re[n] = u(rng), im[n] = u(rng);
    const std::array<float, N> x = re, y = im;
    Fft<N> fft;
    fft.forward(re, im);
    double worst = 0.0;
    for (int k = 0; k < N; ++k) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < N; ++n)
            sum += std::complex<double>(x[n], y[n]) *
                   std::polar(1.0, -2.0 * std::numbers::pi * k * n / N);
        worst = std::max(worst, std::abs(sum - std::complex<double>(re[k], im[k])));
    }
    // |X| is about sqrt(N * 2/3) = 26 for this input; float rounding stays near 1e-4.
    EXPECT_LT(worst, 2e-3);
}

// Within 30 Hz after half a second at 6 dB, at every offset to the edges of both ranges.
// Off-rate signals too: the lines sit half the actual symbol rate either side, and their
// midpoint is the carrier (one line alone would be 2.5-5 Hz off at 4795 and 4810).
TEST(CarrierSearch, FindsTheCarrierOverTheRange) {
    struct Row {
        double offsetHz, maxOffsetHz, symbolRate = 4800.0;
    };
    const Row rows[] = {{-10000, 10000},      {-2500, 3000},       {-1500, 3000}, {0, 3000},
                        {700, 3000},          {1700, 3000},        {2999, 3000},  {9900, 10000},
                        {1234, 3000, 4795.0}, {1234, 3000, 4810.0}};
    struct Level {
        double ebN0Db;
        int seeds;
        double toleranceHz;
    };
    // Clean lines are located to a small fraction of the 11.7 Hz bin.
    const Level levels[] = {{6.0, 20, 30.0}, {10.0, 10, 30.0}, {kClean, 4, 1.0}};
    for (const Row& row : rows) {
        for (const Level& level : levels) {
            for (int seed = 0; seed < level.seeds; ++seed) {
                test::GfskParams p;
                p.symbolRate = row.symbolRate;
                p.deviationHz = row.symbolRate / 2;
                p.offsetHz = row.offsetHz;
                p.ebN0Db = level.ebN0Db;
                const Estimate e = search(test::makeGfsk(p, kHalfSecond, seed), row.maxOffsetHz);
                ASSERT_TRUE(e.ready);
                EXPECT_NEAR(e.offsetHz, row.offsetHz, level.toleranceHz)
                    << row.symbolRate << "/s, Eb/N0 " << level.ebN0Db << " dB, seed " << seed;
                EXPECT_GT(e.peakToMean, CarrierSearch::kConfident);
            }
        }
    }
}

// A DC spike as strong as the whole signal: on one of the lines (+-2400), 4800 Hz from a
// line (-7200, where spike and line could pass for a pair; at -7230 the line pairs best
// with the flank of the spike), on the carrier, elsewhere.
TEST(CarrierSearch, AStrongSpurIsNotTakenForTheCarrier) {
    struct Row {
        double offsetHz, maxOffsetHz;
    };
    const Row rows[] = {{-2400, 3000}, {2400, 3000},   {0, 3000},
                        {1700, 3000},  {-7200, 10000}, {-7230, 10000}};
    for (const Row& row : rows) {
        for (int seed = 0; seed < 20; ++seed) {
            test::GfskParams p;
            p.offsetHz = row.offsetHz;
            p.ebN0Db = 6.0;
            p.toneAmplitude = 1.0;
            p.toneHz = 0.0;
            const Estimate e = search(test::makeGfsk(p, kHalfSecond, 100 + seed), row.maxOffsetHz);
            EXPECT_NEAR(e.offsetHz, row.offsetHz, 30.0) << "seed " << seed;
        }
    }
}

// Noise alone, a plain carrier alone, a plain carrier in noise: an estimate is made, but
// no line stands out.
TEST(CarrierSearch, NoiseAndPlainTonesShowNoConfidentLine) {
    for (int seed = 0; seed < 20; ++seed) {
        test::GfskParams noise;
        noise.signalAmplitude = 0.0;
        noise.toneAmplitude = 0.0;
        noise.ebN0Db = 0.0;
        test::Baseband b = test::makeGfsk(noise, kHalfSecond, seed);
        const Estimate e = search(b, 10000);
        ASSERT_TRUE(e.ready);
        EXPECT_LT(e.peakToMean, CarrierSearch::kConfident) << "seed " << seed;
    }
    struct Tone {
        double ebN0Db, below;
    };
    // Clean, the line has no partner at all; in noise its partner is noise.
    for (const Tone t : {Tone{kClean, 1e-3}, Tone{6.0, CarrierSearch::kConfident}}) {
        test::GfskParams tone;
        tone.modulated = false;
        tone.offsetHz = 1000.0;
        tone.ebN0Db = t.ebN0Db;
        const Estimate e = search(test::makeGfsk(tone, kHalfSecond, 5), 3000);
        EXPECT_LT(e.peakToMean, t.below) << t.ebN0Db;
    }
}

// However the samples arrive (one at a time, odd pieces, whole blocks) and at whatever level.
TEST(CarrierSearch, BlockSizesAndLevelDoNotMatter) {
    test::GfskParams p;
    p.offsetHz = -1800.0;
    p.ebN0Db = 6.0;
    const test::Baseband b = test::makeGfsk(p, kHalfSecond, 9);
    const Estimate whole = search(b, 3000);
    ASSERT_TRUE(whole.ready);

    for (const int piece : {1, 7, 480, 4800}) {
        CarrierSearch s(3000);
        for (int i = 0; i < kHalfSecond; i += piece)
            s.process(b.re.data() + i, b.im.data() + i, std::min(piece, kHalfSecond - i));
        ASSERT_TRUE(s.ready());
        EXPECT_EQ(s.offsetHz(), whole.offsetHz) << piece;
        EXPECT_EQ(s.peakToMean(), whole.peakToMean) << piece;
    }
    // 16-bit full scale.
    test::Baseband loud = b;
    for (auto* v : {&loud.re, &loud.im})
        for (float& x : *v)
            x *= 8000.0f;
    const Estimate scaled = search(loud, 3000);
    EXPECT_NEAR(scaled.offsetHz, whole.offsetHz, 1e-6);
    EXPECT_NEAR(scaled.peakToMean, whole.peakToMean, 1e-4 * whole.peakToMean);
}

TEST(CarrierSearch, ResetEqualsFreshAndTakeStartsAfresh) {
    test::GfskParams p;
    p.ebN0Db = 6.0;
    p.offsetHz = 2000.0;
    const test::Baseband first = test::makeGfsk(p, kSampleRate * 8 / 10, 11);
    p.offsetHz = -900.0;
    const test::Baseband second = test::makeGfsk(p, kHalfSecond, 12);

    // Reset in mid-accumulation and after an estimate.
    for (const int before : {10000, kHalfSecond}) {
        CarrierSearch used(3000);
        used.process(first.re.data(), first.im.data(), before);
        used.reset();
        EXPECT_FALSE(used.ready());
        EXPECT_EQ(used.offsetHz(), 0.0);
        used.process(second.re.data(), second.im.data(), kHalfSecond);
        const Estimate fresh = search(second, 3000);
        EXPECT_EQ(used.offsetHz(), fresh.offsetHz) << before;
        EXPECT_EQ(used.peakToMean(), fresh.peakToMean) << before;
    }

    // After take() the next estimate rests on what follows only, though the next one was
    // partly gathered (0.8 s: one estimate and about 6 of 10 spectra).
    CarrierSearch s(3000);
    s.process(first.re.data(), first.im.data(), static_cast<int>(first.re.size()));
    ASSERT_TRUE(s.ready());
    EXPECT_NEAR(s.offsetHz(), 2000.0, 30.0);
    s.take();
    EXPECT_FALSE(s.ready());
    EXPECT_NEAR(s.offsetHz(), 2000.0, 30.0); // still the latest estimate
    s.process(second.re.data(), second.im.data(), kHalfSecond);
    ASSERT_TRUE(s.ready());
    const Estimate fresh = search(second, 3000);
    EXPECT_EQ(s.offsetHz(), fresh.offsetHz);
    EXPECT_EQ(s.peakToMean(), fresh.peakToMean);
}

} // namespace
} // namespace nimbo
