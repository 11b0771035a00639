// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's Manchester pair and NRZ decisions from phase paths of known bits.
#include <gtest/gtest.h>

#include <algorithm>
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

// The phase at every sample's middle of `blocks` blocks holding Manchester symbols of
// random bits (a 1 is symbols 0, 1: the phase falls half a turn, then rises) from `start`.
struct ManchesterPhase {
    std::vector<int> bits;
    std::vector<double> phase;
};
ManchesterPhase manchesterPhase(int blocks, double phase0, bool invert, int start) {
    const int symbols = blocks * kBlockSamples / kSamplesPerSymbol - 1;
    ManchesterPhase out{
        std::vector<int>(static_cast<std::size_t>(symbols / 2)),
        std::vector<double>(static_cast<std::size_t>(blocks * kBlockSamples), phase0)};
    std::mt19937 rng(11);
    for (int& b : out.bits)
        b = static_cast<int>(rng() & 1u);
    double p = phase0;
    for (int s = 0; s < 2 * static_cast<int>(out.bits.size()); ++s) {
        const int bit = out.bits[static_cast<std::size_t>(s / 2)];
        const double dir = ((s & 1) == bit ? 1.0 : -1.0) * (invert ? -1.0 : 1.0);
        for (int i = 0; i < kSamplesPerSymbol; ++i)
            out.phase[static_cast<std::size_t>(start + s * kSamplesPerSymbol + i)] =
                p + dir * kPi * (i + 0.5) / kSamplesPerSymbol;
        p += dir * kPi;
    }
    return out;
}

// Runs a decider (ManchesterPairs or NrzBits) over the unit phasors of `phase` (plus an
// offset) for `symbols` symbols from sample `start`, the samples in `clicks` marked as
// discriminator clicks; returns the symbols handed over.
template <class Decider>
int decide(const std::vector<double>& phase, int start, int symbols, double offsetHz,
           const std::vector<int>& clicks, SoftRing& ring) {
    const int blocks = static_cast<int>(phase.size()) / kBlockSamples;
    Decider decider;
    CarrierLoop carrier;
    Baseband in;
    int s = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < kBlockSamples; ++i) {
            const int n = b * kBlockSamples + i;
            const double a =
                phase[static_cast<std::size_t>(n)] + 2.0 * kPi * offsetHz * n / kSampleRate;
            in.re[kCarry + i] = static_cast<float>(std::cos(a));
            in.im[kCarry + i] = static_cast<float>(std::sin(a));
            in.clips[kCarry + i] = std::count(clicks.begin(), clicks.end(), n) > 0 ? 1 : 0;
        }
        // Symbols whose last sample is in this block; the first may have begun in the last.
        for (;; ++s) {
            const int last = start + s * kSamplesPerSymbol + kSamplesPerSymbol - 1;
            if (s >= symbols || last >= (b + 1) * kBlockSamples) break;
            decider.symbol(in, kCarry + last - b * kBlockSamples, kSamplesPerSymbol, carrier, ring);
        }
        in.carryOver();
    }
    return s;
}
int decidePairs(const ManchesterPhase& m, int start, double offsetHz,
                const std::vector<int>& clicks, SoftRing& ring) {
    return decide<ManchesterPairs>(m.phase, start, 2 * static_cast<int>(m.bits.size()), offsetHz,
                                   clicks, ring);
}

// Noise-free phase paths of known bits give a decision of the bit's sign on the ring index
// of its second symbol.
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
        const ManchesterPhase m = manchesterPhase(2, row.phase, row.invert, row.start);
        SoftRing ring;
        const int s = decidePairs(m, row.start, row.offsetHz, {}, ring);
        ASSERT_EQ(ring.newest, s - 1 - ManchesterPairs::kDecisionDelay);
        const int sign = row.invert ? -1 : 1;
        for (int k = 1; k <= ring.newest; k += 2) {
            const int bit = m.bits[static_cast<std::size_t>(k / 2)];
            ASSERT_EQ(ring.at(k) > 0.0f, (bit == 1) == (sign > 0)) << "symbol " << k;
            // Clear once the level is learned (until then values are capped near 0).
            if (k > 300) {
                ASSERT_GT(std::abs(ring.at(k)), 0.5f * ring.level) << "symbol " << k;
            }
        }
    }
}

// A click in the middle of a bit (between its symbols) that leaves the phase turned from
// there on. The carrier reference of each decision counts a click on the near side of its
// bits' middles, whichever side the decision lies: so the click heard at the end of the
// bit's first symbol weighs for the decisions before it as the same click heard at the start
// of the second weighs for those after it, at equal distances.
TEST(ManchesterPairs, ClickWeighsAlikeOnBothSides) {
    constexpr int kFirst = 400; // the bit's first symbol, and the turn after it
    constexpr int kTurn = (kFirst + 1) * kSamplesPerSymbol;
    ManchesterPhase m = manchesterPhase(4, 0.3, false, 0);
    for (std::size_t n = kTurn; n < m.phase.size(); ++n)
        m.phase[n] += 2.0;
    SoftRing clean, early, late;
    ASSERT_GT(decidePairs(manchesterPhase(4, 0.3, false, 0), 0, 0.0, {}, clean),
              kFirst + 100 + ManchesterPairs::kDecisionDelay);
    decidePairs(m, 0, 0.0, {kTurn - 1}, early);
    decidePairs(m, 0, 0.0, {kTurn}, late);
    // Bits end at odd symbols; the bit ending at k mirrors the one ending at 2 kFirst + 2 - k.
    float least = 1.0f;
    for (int k = kFirst + 1; k >= kFirst - 41; k -= 2) {
        const int mirror = 2 * kFirst + 2 - k;
        const float before = std::abs(early.at(k)), after = std::abs(late.at(mirror));
        // Not exactly: the carrier loop follows the turn a little.
        EXPECT_NEAR(before / after, 1.0f, 0.002f) << "symbols " << k << " and " << mirror;
        least = std::min(least, before / std::abs(clean.at(k)));
    }
    EXPECT_LT(least, 0.9f); // the turn costs clarity near it
    for (int k : {kFirst - 59, kFirst + 61}) {
        EXPECT_NEAR(early.at(k), late.at(k), 1e-3f * std::abs(late.at(k))) << k;
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
        SoftRing ring;
        const int s = decide<NrzBits>(phase, row.start, kSymbols, row.offsetHz, {}, ring);
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
