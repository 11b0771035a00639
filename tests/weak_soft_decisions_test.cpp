// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's Manchester pair and NRZ decisions from phase paths of known bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/manchester_pairs.h"
#include "dsp/weak/nrz_bits.h"

namespace nimbo {
namespace {
using namespace weak;
constexpr double kPi = std::numbers::pi;

// Noise-free phase paths of known bits (a 1 is symbols 0, 1: the phase falls half a turn,
// then rises) give a decision of the bit's sign on the ring index of its second symbol.
TEST(ManchesterPairs, DecisionsHaveTheBitsSignsAtTheirSecondSymbol) {
    struct Row {
        double phase, offsetHz;
        bool invert;
        int start; // first sample of the first symbol
    };
    const Row rows[] = {{0.7, 0.0, false, 0}, {-2.0, 0.0, true, 5}, {2.5, 60.0, false, 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.phase << " rad, " << row.offsetHz << " Hz"
                                        << (row.invert ? ", inverted" : ""));
        constexpr int kBlocks = 2;
        constexpr int kSymbols = kBlocks * kBlockSamples / kSamplesPerSymbol - 1;
        std::mt19937 rng(11);
        std::vector<int> bits(kSymbols / 2);
        for (int& b : bits)
            b = static_cast<int>(rng() & 1u);
        // The phase at every sample's middle.
        std::vector<double> phase(kBlocks * kBlockSamples, row.phase);
        double p = row.phase;
        for (int s = 0; s < 2 * static_cast<int>(bits.size()); ++s) {
            const int bit = bits[static_cast<std::size_t>(s / 2)];
            const double dir = ((s & 1) == bit ? 1.0 : -1.0) * (row.invert ? -1.0 : 1.0);
            for (int i = 0; i < kSamplesPerSymbol; ++i)
                phase[static_cast<std::size_t>(row.start + s * kSamplesPerSymbol + i)] =
                    p + dir * kPi * (i + 0.5) / kSamplesPerSymbol;
            p += dir * kPi;
        }
        ManchesterPairs pairs;
        CarrierLoop carrier;
        SoftRing ring;
        Baseband in;
        int s = 0;
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlockSamples; ++i) {
                const int n = b * kBlockSamples + i;
                const double a =
                    phase[static_cast<std::size_t>(n)] + 2.0 * kPi * row.offsetHz * n / kSampleRate;
                in.re[kCarry + i] = static_cast<float>(std::cos(a));
                in.im[kCarry + i] = static_cast<float>(std::sin(a));
            }
            // Symbols whose last sample is in this block; the first may have begun in the last.
            for (;; ++s) {
                const int last = row.start + s * kSamplesPerSymbol + kSamplesPerSymbol - 1;
                if (s >= 2 * static_cast<int>(bits.size()) || last >= (b + 1) * kBlockSamples)
                    break;
                pairs.symbol(in, kCarry + last - b * kBlockSamples, kSamplesPerSymbol, carrier,
                             ring);
            }
            in.carryOver();
        }
        ASSERT_EQ(ring.newest, s - 1 - ManchesterPairs::kDecisionDelay);
        const int sign = row.invert ? -1 : 1;
        for (int k = 1; k <= ring.newest; k += 2) {
            const int bit = bits[static_cast<std::size_t>(k / 2)];
            ASSERT_EQ(ring.at(k) > 0.0f, (bit == 1) == (sign > 0)) << "symbol " << k;
            // Clear once the level is learned (until then values are capped near 0).
            if (k > 300) {
                ASSERT_GT(std::abs(ring.at(k)), 0.5f * ring.level) << "symbol " << k;
            }
        }
    }
}

// NRZ: each symbol a bit, the phase turning up half a turn for a 1 and down for a 0; the
// decision of symbol k carries bit k's sign (the polarity's), clear of its neighbours.
TEST(NrzBits, DecisionsHaveTheBitsSigns) {
    struct Row {
        double phase, offsetHz;
        bool invert;
        int start;
    };
    const Row rows[] = {{0.3, 0.0, false, 0}, {-2.2, 0.0, true, 7}, {1.9, 80.0, false, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.phase << " rad, " << row.offsetHz << " Hz"
                                        << (row.invert ? ", inverted" : ""));
        constexpr int kBlocks = 2;
        constexpr int kSymbols = kBlocks * kBlockSamples / kSamplesPerSymbol - 1;
        std::mt19937 rng(12);
        std::vector<int> bits(kSymbols);
        for (int& b : bits)
            b = static_cast<int>(rng() & 1u);
        std::vector<double> phase(kBlocks * kBlockSamples, row.phase);
        double p = row.phase;
        for (int s = 0; s < kSymbols; ++s) {
            const double dir =
                (bits[static_cast<std::size_t>(s)] ? 1.0 : -1.0) * (row.invert ? -1.0 : 1.0);
            for (int i = 0; i < kSamplesPerSymbol; ++i)
                phase[static_cast<std::size_t>(row.start + s * kSamplesPerSymbol + i)] =
                    p + dir * kPi * (i + 0.5) / kSamplesPerSymbol;
            p += dir * kPi;
        }
        NrzBits nrz;
        CarrierLoop carrier;
        SoftRing ring;
        Baseband in;
        int s = 0;
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlockSamples; ++i) {
                const int n = b * kBlockSamples + i;
                const double a =
                    phase[static_cast<std::size_t>(n)] + 2.0 * kPi * row.offsetHz * n / kSampleRate;
                in.re[kCarry + i] = static_cast<float>(std::cos(a));
                in.im[kCarry + i] = static_cast<float>(std::sin(a));
            }
            for (;; ++s) {
                const int last = row.start + s * kSamplesPerSymbol + kSamplesPerSymbol - 1;
                if (s >= kSymbols || last >= (b + 1) * kBlockSamples) break;
                nrz.symbol(in, kCarry + last - b * kBlockSamples, kSamplesPerSymbol, carrier, ring);
            }
            in.carryOver();
        }
        ASSERT_EQ(ring.newest, s - 1 - NrzBits::kDecisionDelay);
        const int sign = row.invert ? -1 : 1;
        for (int k = 0; k <= ring.newest; ++k) {
            ASSERT_EQ(ring.at(k) > 0.0f, (bits[static_cast<std::size_t>(k)] == 1) == (sign > 0))
                << "symbol " << k;
            if (k > 300) {
                ASSERT_GT(std::abs(ring.at(k)), 0.5f * ring.level) << "symbol " << k;
            }
        }
    }
}

} // namespace
} // namespace nimbo
