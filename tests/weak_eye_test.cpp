// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-signal receiver's eye: the symbols it is drawn from, its thinning, and what the
// scope shows of it from clean to far below the decoder's threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/nimbo_core.h"
#include "dsp/weak/eye.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

using weak::Eye;
constexpr int kN = weak::kSamplesPerSymbol;

// Manchester bits as half-turn symbols of whole samples: symbol j takes samples 10j..10j+9,
// its phase at sample k of it starting where the last ended and turning by
// +-pi (k + 0.5) / 10; a 1 rises first. Ticks at the sample after each symbol.
struct Clean {
    std::vector<float> re, im;
    std::vector<uint8_t> ticks;
    std::vector<int> symbolBits; // the bit of each symbol
};

Clean cleanSignal(int blocks, double amplitude, double phase, double offsetHz) {
    Clean c;
    const int n = blocks * kBlockSamples;
    c.re.resize(n);
    c.im.resize(n);
    c.ticks.assign(n, 0);
    uint32_t lfsr = 0xACE1u;
    double start = phase;
    for (int j = 0; (j + 1) * kN <= n; ++j) {
        if (j % 2 == 0) lfsr = (lfsr >> 1) ^ (-(lfsr & 1u) & 0xB400u);
        const int bit = lfsr & 1;
        const bool rising = (j % 2 == 0) == (bit == 1);
        c.symbolBits.push_back(bit);
        for (int k = 0; k < kN; ++k) {
            const int s = j * kN + k;
            const double a = start + (rising ? 1 : -1) * std::numbers::pi * (k + 0.5) / kN +
                             2.0 * std::numbers::pi * offsetHz * s / kSampleRate;
            c.re[s] = static_cast<float>(amplitude * std::cos(a));
            c.im[s] = static_cast<float>(amplitude * std::sin(a));
        }
        start += rising ? std::numbers::pi : -std::numbers::pi;
        if ((j + 1) * kN < n) c.ticks[(j + 1) * kN] = 1;
    }
    return c;
}

// At every drawn tick of the last block a clean symbol stands at kLevel, the sign its bit's
// (the same for both halves of a bit, one sign for the whole eye), whatever the level, the
// carrier's phase or a small offset left by the receiver's loops.
TEST(WeakEyeStage, CleanSymbolsAtTheirBitsLevel) {
    struct Case {
        double amplitude, phase, offsetHz, tolerance;
    };
    for (const Case& c : {Case{1.0, 0.0, 0.0, 0.01}, Case{3000.0, 2.0, 0.0, 0.01},
                          Case{0.01, -1.0, 60.0, 0.03}, Case{1.0, 0.7, -150.0, 0.05}}) {
        SCOPED_TRACE(testing::Message() << c.amplitude << " " << c.phase << " " << c.offsetHz);
        const Clean s = cleanSignal(3, c.amplitude, c.phase, c.offsetHz);
        Eye eye;
        for (int b = 0; b < 3; ++b)
            eye.process(&s.re[b * kBlockSamples], &s.im[b * kBlockSamples],
                        &s.ticks[b * kBlockSamples]);
        int drawn = 0, agree = 0;
        for (int i = 0; i < kBlockSamples; ++i) {
            const double v = eye.signal()[i];
            if (!eye.ticks()[i] || std::isnan(v)) continue;
            ++drawn;
            EXPECT_NEAR(std::abs(v), Eye::kLevel, c.tolerance * Eye::kLevel) << i;
            const int symbol = (2 * kBlockSamples + i) / kN - 1; // the one that just ended
            agree += (v > 0) == (s.symbolBits[symbol] == 1);
        }
        EXPECT_GT(drawn, 60);
        EXPECT_TRUE(agree == 0 || agree == drawn) << agree << " of " << drawn;
    }
}

// One trace in kTraceStep is drawn, whole: every third tick starts one, and its samples up to
// and including the next trace's first are values, all others NaN.
TEST(WeakEyeStage, KeepsWholeTracesOneInStep) {
    const Clean s = cleanSignal(1, 1.0, 0.0, 0.0);
    Eye eye;
    eye.process(s.re.data(), s.im.data(), s.ticks.data());
    const int traceSamples = Eye::kTicksPerTrace * kN;
    int kept = 0;
    for (int start = traceSamples; start < kBlockSamples; start += traceSamples) {
        const int trace = start / traceSamples - 1;
        const bool keep = trace % Eye::kTraceStep == 0;
        kept += keep;
        for (int i = start + 1; i < std::min(start + traceSamples, kBlockSamples); ++i)
            EXPECT_EQ(std::isnan(eye.signal()[i]), !keep) << i;
        const bool keptBefore = trace > 0 && (trace - 1) % Eye::kTraceStep == 0;
        EXPECT_EQ(std::isnan(eye.signal()[start]), !keep && !keptBefore) << start;
    }
    EXPECT_EQ(kept, (kBlockSamples / traceSamples + Eye::kTraceStep - 1) / Eye::kTraceStep);
    for (int i = 0; i <= traceSamples; ++i)
        EXPECT_TRUE(i == traceSamples || std::isnan(eye.signal()[i])) << "before the first";
}

// What the scope shows after a few seconds of a synthesised sonde through the core.
struct Shown {
    int ticks = 0;                // in the last block
    int drawnTicks = 0;           // of them with a value
    int above = 0, below = 0;     // beyond half the level either side
    int nearZero = 0, inBand = 0; // within a quarter of the level of 0; 0.75..1.25 of it
    int white = 0;                // pixels
    double centreLit = 0.0;       // lit share of the picture round the centre line at x = 60, 120
};

Shown showWeakEye(double ebN0dB, bool ifPath, int frames) {
    synth::SynthOptions o;
    o.frames = frames;
    o.ifSignal = ifPath;
    o.ebN0dB = ebN0dB;
    o.seed = 7;
    const std::vector<int16_t> pcm = synth::synthesize(o);
    auto core = std::make_unique<NimboCore>();
    ReceiverSettings settings;
    settings.DemodType = ifPath ? 1 : 0;
    settings.Weak = true;
    core->applySettings(settings);
    Shown s;
    int blocks = 0;
    for (std::size_t i = 0; i < pcm.size(); i += kBlockWords) {
        core->ProcessWaveBuffer(pcm.data() + i);
        if (++blocks < 10) continue; // after the first second, when the receiver has settled
        const Eye& eye = core->weakEye();
        for (int k = 0; k < kBlockSamples; ++k) {
            if (!eye.ticks()[k]) continue;
            s.ticks += i + kBlockWords >= pcm.size();
            const double v = eye.signal()[k] / Eye::kLevel;
            if (std::isnan(v)) continue;
            ++s.drawnTicks;
            s.above += v > 0.5;
            s.below += v < -0.5;
            s.nearZero += std::abs(v) < 0.25;
            s.inBand += std::abs(v) >= 0.75 && std::abs(v) < 1.25;
        }
    }
    const Raster& b = core->scope().scopeBitmap();
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            s.white += b.pixel(x, y) == clWhite;
    int zone = 0, lit = 0;
    for (const int c : {60, 120})
        for (int x = c - 4; x <= c + 4; ++x)
            for (int y = 75 - 8; y <= 75 + 8; ++y) {
                if (x == c || y == 75) continue; // the dotted grid
                ++zone;
                lit += b.pixel(x, y) != clBlack;
            }
    s.centreLit = static_cast<double>(lit) / zone;
    return s;
}

// Density of the symbol values at zero over their density in the bands (both as fractions
// per unit of the level): 0 for an open eye, about 1 or more for a closed one.
double closure(const Shown& s) {
    return (s.nearZero / 0.5) / std::max(s.inBand / 1.0, 1.0);
}

TEST(WeakEye, OpenOnAClearSignalOnBothPaths) {
    for (const bool ifPath : {false, true}) {
        SCOPED_TRACE(ifPath ? "IF" : "FM Det");
        const Shown s = showWeakEye(std::numeric_limits<double>::infinity(), ifPath, 2);
        EXPECT_NEAR(s.ticks, 480, 1); // 4800 symbols a second, a tenth of a second a block
        EXPECT_EQ(s.above + s.below, s.drawnTicks);
        EXPECT_GT(s.above, s.drawnTicks / 4);
        EXPECT_GT(s.below, s.drawnTicks / 4);
        EXPECT_GT(s.white, 300);
        EXPECT_EQ(s.centreLit, 0.0);
    }
}

// Near the threshold the eye still shows two bands at the symbols with an opening between,
// as a haze that leaves most of the picture dark; far below it, closed.
TEST(WeakEye, ShowsSignalQualityNearTheThreshold) {
    constexpr int kArea = 180 * 150;
    const Shown fm11 = showWeakEye(11.0, false, 4);
    EXPECT_LT(fm11.white, kArea / 4);
    EXPECT_LT(closure(fm11), 0.2);
    EXPECT_GT(fm11.above, fm11.drawnTicks / 3);
    EXPECT_GT(fm11.below, fm11.drawnTicks / 3);
    EXPECT_LT(fm11.centreLit, 0.25);

    const Shown if9 = showWeakEye(9.0, true, 4);
    EXPECT_LT(if9.white, kArea / 4);
    EXPECT_LT(closure(if9), 0.35);

    for (const bool ifPath : {false, true}) {
        SCOPED_TRACE(ifPath ? "IF 3 dB" : "FM Det 3 dB");
        const Shown s = showWeakEye(3.0, ifPath, 4);
        EXPECT_GT(closure(s), 0.4);
        EXPECT_GT(s.centreLit, 0.35);
        EXPECT_LT(s.white, kArea / 4); // spread, not a white field
    }
}

} // namespace
} // namespace nimbo
