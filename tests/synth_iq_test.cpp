// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's I/Q output: frequency, noise over the band, encodings of known values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "tests/synth_signal.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {
using test::synthesizeIq;

// Frequency in Hz from pair m to pair m + 1.
double iqFrequency(const std::vector<float>& z, int64_t m, double rate) {
    const double re0 = z[2 * m], im0 = z[2 * m + 1], re1 = z[2 * m + 2], im1 = z[2 * m + 3];
    return std::atan2(im1 * re0 - re1 * im0, re1 * re0 + im1 * im0) * rate / (2 * std::numbers::pi);
}

TEST(SynthIq, FrequencyIsTheOffsetPlusTheSymbolsDeviation) {
    const struct {
        int rate;
        double offset, carrierOffset, symbolRate, leadIn;
        bool square, invert;
    } cases[] = {
        {48000, 0, 0, 4800, 0.0, true, false},
        {96000, 20000, 0, 4800, 0.1, false, false},
        {240000, -50000, 700, 4800, 0.0, false, true},
        {1000000, 300000, 0, 4810, 0.05, true, false},
        {3200000, -1000000, 0, 4795, 0.0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " samples/s, offset " + std::to_string(c.offset));
        SynthOptions o;
        o.frames = 1;
        o.iqFormat = IqFormat::F32;
        o.iqRate = c.rate;
        o.iqOffsetHz = c.offset;
        o.carrierOffsetHz = c.carrierOffset;
        o.symbolRate = c.symbolRate;
        o.leadInSeconds = c.leadIn;
        o.squarePulses = c.square;
        o.invert = c.invert;
        const auto z = synthesizeIq(o);
        const double carrier = c.offset + c.carrierOffset, perSymbol = c.rate / c.symbolRate;
        const auto lead = std::llround(c.leadIn * c.rate);
        for (std::size_t m = 0; m < z.size() / 2; m += 997)
            ASSERT_NEAR(std::hypot(z[2 * m], z[2 * m + 1]), 0.4, 1e-6) << "pair " << m;
        // Manchester sends as many 1 as 0 symbols: over the frame the mean is the carrier.
        // (The last step of the frame needs the pair after it, which a one-frame signal lacks.)
        const auto frameEnd = std::min(static_cast<int64_t>(lead + 4800 * perSymbol),
                                       static_cast<int64_t>(z.size() / 2) - 1);
        double sum = 0;
        for (int64_t m = lead; m < frameEnd; ++m)
            sum += iqFrequency(z, m, c.rate);
        EXPECT_NEAR(sum / static_cast<double>(frameEnd - lead), carrier, 1.0);
        // The sync bytes 2A 2A 2A 2A 2A 10 (on-air bytes 44..49): start bit 0, data bits
        // least significant first, stop bit 1; bit b as symbols 1 - b, b; a symbol 1 is
        // +deviation. At a symbol's centre the full deviation (square pulses), or at least
        // 0.8816 of it (Gaussian, between opposite neighbours; a little less half a sample off).
        int k = 880;
        for (int byte : {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10})
            for (int bit = 0; bit < 20; ++bit, ++k) {
                const int symbol = (0x200 | byte << 1) >> (bit / 2) & 1 ? bit & 1 : 1 - (bit & 1);
                const int64_t m = lead + std::llround((k + 0.5) * perSymbol);
                const double sign = (symbol == 1) != c.invert ? 1.0 : -1.0;
                const double f = sign * (iqFrequency(z, m, c.rate) - carrier) / 2400;
                EXPECT_GT(f, c.square ? 1.0 - 1e-3 : 0.86) << "symbol " << k;
                EXPECT_LT(f, 1.0 + 1e-3) << "symbol " << k;
            }
    }
}

TEST(SynthIq, NoiseFillsTheBandAtTheEbN0Definition) {
    const struct {
        int rate;
        double ebN0dB, symbolRate;
        bool rs41; // one symbol a bit: Rb = symbol rate
    } cases[] = {{48000, 10, 4800, false}, {240000, 5, 4800, false}, {1000000, 20, 5000, false},
                 {96000, -3, 4800, false}, {240000, 9, 4800, true},  {48000, 6, 4800, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " samples/s, " + std::to_string(c.ebN0dB) + " dB" +
                     (c.rs41 ? " RS41" : ""));
        SynthOptions o;
        if (c.rs41) {
            o.sonde = Sonde::Rs41;
            o.serial = "S1234567";
        }
        o.frames = 1;
        o.iqFormat = IqFormat::F32;
        o.iqRate = c.rate;
        o.iqOffsetHz = 5000;
        o.symbolRate = c.symbolRate;
        SynthOptions noisy = o;
        noisy.ebN0dB = c.ebN0dB;
        const auto z = synthesizeIq(noisy), pure = synthesizeIq(o);
        // Signal and noise share the 0.4 rms: A^2 (1 + R / (Rb Eb/N0)) = 0.16, Rb = rate / 2
        // (RS41: rate); the complex noise has the variance A^2 R / (Rb Eb/N0), N0 = variance / R.
        const double rb = c.rs41 ? c.symbolRate : c.symbolRate / 2;
        const double snr = c.rate / (rb * std::pow(10.0, c.ebN0dB / 10));
        const double a = 0.4 / std::sqrt(1 + snr), expected = a * a * snr;
        EXPECT_NEAR(iqNoiseVariance(noisy), expected, expected * 1e-12);
        double squares[2] = {}, cross = 0, total = 0;
        const std::size_t n = z.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            const double d0 = z[2 * i] - pure[2 * i] * a / 0.4;
            const double d1 = z[2 * i + 1] - pure[2 * i + 1] * a / 0.4;
            squares[0] += d0 * d0;
            squares[1] += d1 * d1;
            cross += d0 * d1;
            total += z[2 * i] * z[2 * i] + z[2 * i + 1] * z[2 * i + 1];
        }
        EXPECT_NEAR(squares[0] / n, expected / 2, 0.03 * expected / 2) << "I";
        EXPECT_NEAR(squares[1] / n, expected / 2, 0.03 * expected / 2) << "Q";
        EXPECT_LT(std::fabs(cross / n), 0.02 * expected) << "I and Q noise are independent";
        EXPECT_NEAR(std::sqrt(total / n), 0.4, 0.01);
    }
}

TEST(SynthIq, EncodingsOfKnownValues) {
    const struct {
        float x;
        uint8_t u8, s16[2], f32[4];
    } cases[] = {
        {0.0f, 128, {0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}},
        {1.0f, 255, {0xFF, 0x7F}, {0x00, 0x00, 0x80, 0x3F}},
        {-1.0f, 0, {0x01, 0x80}, {0x00, 0x00, 0x80, 0xBF}},
        {0.5f, 191, {0x00, 0x40}, {0x00, 0x00, 0x00, 0x3F}},    // 191.25; 16383.5 rounds up
        {-0.25f, 96, {0x00, 0xE0}, {0x00, 0x00, 0x80, 0xBE}},   // 95.625; -8191.75
        {-0.001f, 127, {0xDF, 0xFF}, {0x6F, 0x12, 0x83, 0xBA}}, // 127.37; -32.767
        {2.0f, 255, {0xFF, 0x7F}, {0x00, 0x00, 0x00, 0x40}},    // clipped, but not f32
        {-3.0f, 0, {0x00, 0x80}, {0x00, 0x00, 0x40, 0xC0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        const float values[2] = {0.75f, c.x}; // a wrong stride shows in the second
        unsigned char bytes[8] = {};
        encodeIq(values, 2, IqFormat::U8, bytes);
        EXPECT_EQ(bytes[1], c.u8);
        encodeIq(values, 2, IqFormat::S16, bytes);
        EXPECT_EQ(0, std::memcmp(bytes + 2, c.s16, 2));
        encodeIq(values, 2, IqFormat::F32, bytes);
        EXPECT_EQ(0, std::memcmp(bytes + 4, c.f32, 4));
    }
}

} // namespace
} // namespace nimbo::synth
