// SPDX-License-Identifier: GPL-3.0-or-later
// The front end's FIR tables and the block FIR that runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "dsp/block_fir.h"
#include "dsp/filter_taps.h"

namespace nimbo {
namespace {

constexpr double kFs = 48000.0;

// Frequency response of a tap table at f Hz, referred to the centre tap (25 samples
// late), so a linear-phase filter gives a real value and the Hilbert filter -j.
std::complex<double> responseAt(const FirTaps& taps, double f) {
    const double w = 2.0 * std::numbers::pi * f / kFs;
    std::complex<double> sum = 0.0;
    for (int k = 0; k < kFirTaps; ++k)
        sum += taps[k] * std::polar(1.0, -w * (k - 25));
    return sum;
}

TEST(FilterTaps, SymmetryAndListedValues) {
    struct Case {
        const char* name;
        const FirTaps& taps;
        double sign; // +1 symmetric, -1 antisymmetric
    };
    for (const Case& c : {Case{"bandPass", bandPassTaps, 1.0}, Case{"hilbert", hilbertTaps, -1.0},
                          Case{"lowPass", lowPassTaps, 1.0}}) {
        SCOPED_TRACE(c.name);
        for (int k = 0; k < kFirTaps; ++k)
            EXPECT_EQ(c.taps[50 - k], c.sign * c.taps[k]) << k;
    }
    EXPECT_EQ(hilbertTaps[25], 0.0);

    // A few entries of each table, including ones only reachable through the mirror.
    EXPECT_EQ(bandPassTaps[3], 0.0019400888);
    EXPECT_EQ(bandPassTaps[25], 0.333333333);
    EXPECT_EQ(bandPassTaps[27], -0.271173804);
    EXPECT_EQ(bandPassTaps[50], -6.37545465e-20);
    EXPECT_EQ(hilbertTaps[0], -0.000615197232);
    EXPECT_EQ(hilbertTaps[24], -0.633802675);
    EXPECT_EQ(hilbertTaps[26], 0.633802675);
    EXPECT_EQ(hilbertTaps[49], 7.40783615e-11);
    EXPECT_EQ(lowPassTaps[0], -0.000224809873);
    EXPECT_EQ(lowPassTaps[15], -0.0180079321);
    EXPECT_EQ(lowPassTaps[25], 0.133333333);
    EXPECT_EQ(lowPassTaps[46], 0.000936460163);
}

TEST(FilterTaps, FrequencyResponses) {
    // Low-pass: DC gain 1.0007, half amplitude at 3200 Hz, below 0.006 from 4800 Hz up.
    EXPECT_NEAR(responseAt(lowPassTaps, 0.0).real(), 1.0007, 1e-4);
    EXPECT_NEAR(std::abs(responseAt(lowPassTaps, 3200.0)), 0.5, 0.01);
    for (double f = 4800.0; f <= 24000.0; f += 100.0)
        EXPECT_LT(std::abs(responseAt(lowPassTaps, f)), 0.006) << f;

    // Band-pass: unit gain 9.5..14.5 kHz, half amplitude at 8 and 16 kHz, stop bands.
    for (double f = 9500.0; f <= 14500.0; f += 100.0)
        EXPECT_NEAR(std::abs(responseAt(bandPassTaps, f)), 1.0, 0.015) << f;
    EXPECT_NEAR(std::abs(responseAt(bandPassTaps, 8000.0)), 0.5, 0.01);
    EXPECT_NEAR(std::abs(responseAt(bandPassTaps, 16000.0)), 0.5, 0.01);
    for (double f = 0.0; f <= 24000.0; f += 100.0)
        if (f <= 6000.0 || f >= 18000.0) {
            EXPECT_LT(std::abs(responseAt(bandPassTaps, f)), 0.002) << f;
        }

    // Hilbert: unit magnitude and a 90-degree lag (a factor -j) from 2 to 22 kHz.
    for (double f = 2000.0; f <= 22000.0; f += 250.0) {
        const std::complex<double> h = responseAt(hilbertTaps, f);
        EXPECT_NEAR(h.real(), 0.0, 1e-9) << f;
        EXPECT_NEAR(h.imag(), -1.0, 0.002) << f;
    }
}

// Straightforward reference: a delay line shifted by one per sample, newest at 0.
struct DelayLineFir {
    const FirTaps& taps;
    double delay[kFirTaps] = {};
    double step(double x) {
        for (int j = kFirTaps - 1; j > 0; --j)
            delay[j] = delay[j - 1];
        delay[0] = x;
        double acc = 0.0;
        for (int j = 0; j < kFirTaps; ++j)
            acc += taps[j] * delay[j];
        return acc;
    }
};

TEST(BlockFir, MatchesDelayLineOverBlocksOfAnySize) {
    // Sizes around the 50-sample history and the 8-wide inner loop, and a full block.
    const int sizes[] = {1, 7, 49, 3, 50, 51, 333, kBlockSamples, 13, 4799, 9};
    for (const FirTaps* taps : {&bandPassTaps, &hilbertTaps, &lowPassTaps}) {
        BlockFir fir(*taps);
        DelayLineFir ref{*taps};
        unsigned seed = 12345;
        std::vector<double> in, out;
        std::vector<double> previousBlock;
        for (int size : sizes) {
            SCOPED_TRACE(size);
            in.resize(size);
            out.assign(size, 0.0);
            for (double& x : in) {
                seed = seed * 1103515245u + 12345u;
                x = static_cast<int>((seed >> 16) & 0xFFFF) - 32768.0;
            }
            fir.process(in.data(), out.data(), size);
            for (int i = 0; i < size; ++i) {
                const double expected = ref.step(in[i]);
                ASSERT_NEAR(out[i], expected, 1e-9 * (1.0 + std::fabs(expected))) << i;
            }
            for (int i = 0; i < size; ++i)
                EXPECT_EQ(fir.inputAt(i), in[i]);
            // The history reaches back through earlier (possibly short) blocks; zeros
            // before the first one.
            const int earlier = static_cast<int>(previousBlock.size());
            for (int back = 1; back <= 50; ++back)
                EXPECT_EQ(fir.inputAt(-back), back <= earlier ? previousBlock[earlier - back] : 0.0)
                    << back;
            previousBlock.insert(previousBlock.end(), in.begin(), in.end());
        }
    }
}

TEST(BlockFir, FiltersInPlace) {
    std::vector<double> a(kBlockSamples), b(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i)
        a[i] = std::sin(0.37 * i) * 1000.0 + (i % 17);
    BlockFir separate(lowPassTaps), inPlace(lowPassTaps);
    for (int block = 0; block < 2; ++block) {
        std::vector<double> work = a;
        separate.process(a.data(), b.data(), kBlockSamples);
        inPlace.process(work.data(), work.data(), kBlockSamples);
        EXPECT_EQ(work, b);
    }
}

} // namespace
} // namespace nimbo
