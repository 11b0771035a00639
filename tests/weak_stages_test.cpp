// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-signal receiver stage by stage, each against what its input must give worked out
// by hand: tones, phase paths, hand-built symbol streams and soft decisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "dsp/frame_sync.h"
#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/channel_filter.h"
#include "dsp/weak/fm_front_end.h"
#include "dsp/weak/frame_reader.h"
#include "dsp/weak/if_front_end.h"
#include "dsp/weak/manchester_pairs.h"
#include "dsp/weak/nrz_bits.h"
#include "dsp/weak/symbol_timing.h"
#include "dsp/weak/sync_pattern.h"
#include "dsp/weak/sync_search.h"
#include "dsp/weak/weak_receiver.h"
#include "tests/gfsk_signal.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {
using namespace weak;
constexpr double kPi = std::numbers::pi;
using Cf = std::complex<float>;

Cf at(const Baseband& b, int i) {
    return {b.re[kCarry + i], b.im[kCarry + i]};
}
// Turn from one output sample to the next, -pi..pi.
double stepAt(const Baseband& b, int i, Cf before) {
    return std::arg(at(b, i) * std::conj(before));
}

// After a block of silence, constant audio turns the rebuilt phase by its own step per
// sample (the mean-step loop has barely moved); clipped audio is a click of fixed size.
TEST(FmFrontEnd, ConstantAudioTurnsThePhaseByItsStep) {
    // Clipping at 32767 is 1.287 rad at full deviation 1; a click is 0.36 of the way on to pi.
    const auto click = [](double deviation) {
        const double clip = 32767.0 / 8000.0 * kPi / 10.0 / deviation;
        return clip + 0.36 * (kPi - clip);
    };
    struct Row {
        int16_t audio;
        double deviation, step;
        bool clip;
    };
    const Row rows[] = {
        {2000, 1.0, 0.25 * kPi / 10.0, false},
        {-2000, 1.0, -0.25 * kPi / 10.0, false},
        {4000, 2.0, 0.25 * kPi / 10.0, false},
        {20000, 0.5, kPi / 2.0, false}, // beyond 1.2 rad
        {32766, 1.0, 32766.0 / 8000.0 * kPi / 10.0, false},
        {32767, 1.0, click(1.0), true},
        {-32768, 1.0, -click(1.0), true},
        {32767, 2.0, click(2.0), true},
        // Full scale beyond half a turn a step: no click can clip, the value is the step.
        {32767, 0.4, std::remainder(32767.0 / 8000.0 * kPi / 10.0 / 0.4, 2.0 * kPi), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.audio << " at deviation " << row.deviation);
        FmFrontEnd fm;
        Baseband out;
        std::vector<int16_t> audio(kBlockSamples, 0);
        fm.process(audio.data(), 1, row.deviation, out);
        const Cf last = at(out, kBlockSamples - 1);
        std::fill(audio.begin(), audio.end(), row.audio);
        fm.process(audio.data(), 1, row.deviation, out);
        // The offset is re-read every 64 samples: until then it holds at about 0.
        EXPECT_NEAR(stepAt(out, 0, last), row.step, 1e-3);
        for (int i = 1; i < 64; ++i)
            ASSERT_NEAR(stepAt(out, i, at(out, i - 1)), row.step, 1e-3) << i;
        int clips = 0;
        for (int i = 0; i < kBlockSamples; ++i)
            clips += out.clips[kCarry + i];
        EXPECT_EQ(clips, row.clip ? kBlockSamples : 0);
        EXPECT_FLOAT_EQ(out.freq[7], row.audio / 8000.0f);
    }
}

// Once the mean step has settled the phase stops turning; a retune takes off more (so the
// phase turns back), and a reset forgets both the offset and the retune.
TEST(FmFrontEnd, OffsetTakenOffRetunedAndReset) {
    const double step = 0.25 * kPi / 10.0; // audio 2000 at deviation 1
    FmFrontEnd fm;
    Baseband out;
    std::vector<int16_t> audio(kBlockSamples, 0);
    fm.process(audio.data(), 1, 1.0, out);
    std::fill(audio.begin(), audio.end(), int16_t{2000});
    for (int b = 0; b < 6; ++b)
        fm.process(audio.data(), 1, 1.0, out);
    EXPECT_NEAR(fm.offset(), step, 1e-6);
    for (int i = 1; i < kBlockSamples; ++i)
        ASSERT_NEAR(stepAt(out, i, at(out, i - 1)), 0.0, 1e-4) << i;

    fm.retune(0.01);
    EXPECT_NEAR(fm.offset(), step + 0.01, 1e-6);
    Cf before = at(out, kBlockSamples - 1);
    fm.process(audio.data(), 1, 1.0, out);
    for (int i = 0; i < kBlockSamples; before = at(out, i), ++i)
        ASSERT_NEAR(stepAt(out, i, before), -0.01, 1e-4) << i;

    fm.reset();
    EXPECT_EQ(fm.offset(), 0.0);
    FmFrontEnd fresh;
    Baseband freshOut;
    fm.process(audio.data(), 1, 1.0, out);
    fresh.process(audio.data(), 1, 1.0, freshOut);
    EXPECT_TRUE(out.re == freshOut.re && out.im == freshOut.im);
}

// A tone on the 12 kHz IF or as I/Q comes out of the channel filter as its offset from the
// tuned place: a constant phasor when tuned onto it, and `freq` sin(w) / sin(pi/10) for a
// turn of w a sample (1 at the full deviation, 2400 Hz); far off the channel it is gone.
TEST(ChannelFilter, ToneComesOutAtItsOffsetFromTheTune) {
    struct Row {
        bool iq;
        double toneHz, tuneHz, retuneHz;
        double magnitude, tolerance; // of the output; tolerance < 0: at most `magnitude`
    };
    // Amplitude 8000: 1 on I/Q, 1/2 on the IF (the mixer's other half is the image at
    // 24 kHz); the IF low-pass passes 1.5 kHz at 0.996, the channel its middle at 1.
    const Row rows[] = {
        {true, 1500, 1500, 0, 1.0, 0.002},      {true, -1500, -1500, 0, 1.0, 0.002},
        {true, 1500, 1000, 500, 1.0, 0.002},    {true, -9700, -9700, 0, 1.0, 0.002},
        {true, 1200, 0, 0, 0.9, 0.1},           {true, -2400, 0, 0, 0.9, 0.1},
        {true, 3700, 1300, 0, 0.9, 0.1},        {true, 12000, 0, 0, 0.01, -1},
        {true, -10500, 1500, 0, 0.01, -1},      {false, 1500, 1500, 0, 0.4979, 0.003},
        {false, -2500, -2500, 0, 0.491, 0.003}, {false, 2400, 0, 0, 0.45, 0.05},
        {false, -1000, 0, 0, 0.48, 0.03},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.iq ? "I/Q " : "IF ") << row.toneHz
                                        << " Hz tuned to " << row.tuneHz << " + " << row.retuneHz);
        IfFrontEnd ifFront;
        IqFrontEnd iqFront;
        ChannelFilter channel;
        channel.tune(2.0 * kPi * row.tuneHz / kSampleRate);
        if (row.retuneHz != 0.0) channel.retune(2.0 * kPi * row.retuneHz / kSampleRate);
        Baseband out;
        std::array<float, kBlockSamples> re{}, im{};
        std::vector<int16_t> block(kBlockWords);
        const double w = 2.0 * kPi * (row.toneHz - row.tuneHz - row.retuneHz) / kSampleRate;
        const double freq = std::sin(w) / std::sin(kPi / 10.0);
        int64_t n = 0;
        for (int b = 0; b < 4; ++b) {
            for (int i = 0; i < kBlockSamples; ++i, ++n) {
                const double hz = row.iq ? row.toneHz : Receiver::kCarrierHz + row.toneHz;
                const double a = 2.0 * kPi * hz * static_cast<double>(n) / kSampleRate + 0.3;
                block[2 * i] = static_cast<int16_t>(std::lround(8000.0 * std::cos(a)));
                block[2 * i + 1] = static_cast<int16_t>(std::lround(8000.0 * std::sin(a)));
            }
            if (row.iq)
                iqFront.process(block.data(), re.data(), im.data());
            else
                ifFront.process(block.data(), kInputChannels, re.data(), im.data());
            channel.process(re.data(), im.data(), out);
            if (b < 2) continue; // the filters' delay and the first outputs' start
            for (int i = 0; i < kBlockSamples; ++i) {
                const double m = std::abs(at(out, i));
                if (row.tolerance < 0) {
                    ASSERT_LT(m, row.magnitude) << i;
                    continue;
                }
                ASSERT_NEAR(m, row.magnitude, row.tolerance) << i;
                ASSERT_NEAR(out.freq[i], freq, 0.005) << i;
                ASSERT_EQ(out.clips[kCarry + i], 0);
            }
        }
    }
}

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

// Every tick falls on the last sample of a symbol (within one), and the period is the rate's.
TEST(SymbolTiming, TicksSettleOnTheSymbolEnds) {
    struct Row {
        bool gaussian;
        double rate, start, dc;
    };
    const Row rows[] = {
        {false, 4800, 4, 0.0}, // the last sample of each symbol is 10k + 3
        {false, 4800, 0, 0.3}, {true, 4800, 7, 0.0}, {true, 4800, 2.6, -0.2},
        {true, 4750, 2, 0.0},  {true, 4870, 5, 0.0}, {false, 4720, 9, 0.0},
    };
    constexpr int kBlocks = 12;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.gaussian ? "Gaussian " : "square ") << row.rate
                                        << " start " << row.start << " dc " << row.dc);
        const double period = kSampleRate / row.rate;
        const std::vector<float> f =
            manchesterFreq(kBlocks * kBlockSamples, period, row.start, row.gaussian, row.dc, 5);
        SymbolTiming timing;
        for (int b = 0; b < kBlocks; ++b) {
            timing.process(f.data() + b * kBlockSamples, false);
            if (b < kBlocks / 2) continue;
            const int64_t blockStart = timing.samplesDone() - kBlockSamples;
            std::vector<int64_t> marks; // the eye marks the sample that completed each tick
            for (int i = 0; i < kBlockSamples; ++i)
                if (timing.eyeTicks()[i]) marks.push_back(blockStart + i);
            ASSERT_EQ(marks.size(), timing.ticks().size());
            for (std::size_t j = 0; j < marks.size(); ++j) {
                const int64_t t = timing.ticks()[j];
                const double end = row.start + period * std::round((t + 1 - row.start) / period);
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

// The RS41's pattern: the header as sent (10 B6 CA 11 22 96 12 F8), least significant bit
// first, its last bit at the sync position; the cheap test's word is the same bits.
TEST(SyncPattern, Rs41HeaderBitsAsSent) {
    const SyncPattern& p = rs41Pattern();
    constexpr std::array<uint8_t, 8> air = {0x10, 0xB6, 0xCA, 0x11, 0x22, 0x96, 0x12, 0xF8};
    ASSERT_EQ(p.bits.size(), 64u);
    EXPECT_EQ(p.stride, 1);
    EXPECT_EQ(p.frameSymbols, 4800);
    EXPECT_EQ(p.tailBits, 0);
    for (int n = 0; n < 64; ++n) {
        const int bit = (air[static_cast<std::size_t>(n / 8)] >> (n % 8)) & 1;
        const KnownBit& b = p.bits[static_cast<std::size_t>(n)];
        EXPECT_EQ(b.back, 63 - n) << n;
        EXPECT_EQ(b.sign, bit ? 1 : -1) << n;
        EXPECT_EQ((p.syncSigns >> (63 - n)) & 1, static_cast<uint64_t>(bit)) << n;
    }
}

constexpr std::array<uint8_t, 6> kSync = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10};
constexpr int kSentBytes = 240, kLeadParityBytes = 24; // a frame; the parity before it
constexpr int kSymbolsPerByte = 20;                    // ten bits of two symbols
constexpr int kTailAt = 196;                           // sent byte where the constant tail begins
constexpr int kFrameSymbols = kSentBytes * kSymbolsPerByte;
// The symbol of a frame's last sync stop bit decision, from the frame's first symbol.
constexpr int kSyncEnd = static_cast<int>(kSync.size()) * kSymbolsPerByte - 1;

// Ideal soft decisions of a bit stream, one per symbol: +-1 on a bit's second symbol; on its
// first, the pair that straddles it and the bit before (0 where the symbols agree).
void pushBits(std::vector<float>& v, const std::vector<int>& bits) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const int b = bits[i];
        v.push_back(i > 0 && bits[i - 1] == b ? (b ? -1.0f : 1.0f) : 0.0f);
        v.push_back(b ? 1.0f : -1.0f);
    }
}
void addByte(std::vector<int>& bits, uint8_t byte) {
    bits.push_back(0);
    for (int i = 0; i < 8; ++i)
        bits.push_back((byte >> i) & 1);
    bits.push_back(1);
}

enum class Tail { Right, Inverted, Random, Zero };

// Decisions of `frames` sent frames of random content after 37 idle bits.
std::vector<float> frameDecisions(int frames, Tail tail, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<int> bits(37, 1);
    for (int f = 0; f < frames; ++f) {
        std::array<uint8_t, kSentBytes> bytes{};
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(rng());
        std::copy(kSync.begin(), kSync.end(), bytes.begin());
        for (int i = 0; i < 20; ++i) {
            const uint8_t h = headerPatternBytes[static_cast<std::size_t>(i)];
            uint8_t& t = bytes[static_cast<std::size_t>(kTailAt + i)];
            t = tail == Tail::Right      ? h
                : tail == Tail::Inverted ? static_cast<uint8_t>(~h)
                : tail == Tail::Zero     ? uint8_t{0}
                                         : t;
        }
        for (const uint8_t b : bytes)
            addByte(bits, b);
    }
    std::vector<float> v;
    pushBits(v, bits);
    return v;
}
constexpr int64_t kFirstFrame = 2 * 37; // symbol where frame 0 begins

struct Due {
    int64_t sync, next;
    bool follows, lockedAfter;
};

// Each decision into the ring and the search; every due frame's checks say `good(n)`.
template <class Good>
std::vector<Due> runSync(SyncSearch& sync, const std::vector<float>& v, float sign,
                         int64_t* lockedAt, Good good) {
    SoftRing ring;
    std::vector<Due> due;
    for (std::size_t k = 0; k < v.size(); ++k) {
        ring.push(static_cast<int64_t>(k), sign * v[k]);
        const bool wasLocked = sync.locked();
        const bool isDue = sync.step(ring);
        if (!wasLocked && sync.locked() && lockedAt && *lockedAt < 0) *lockedAt = sync.lastSeen();
        if (!isDue) continue;
        sync.frameChecked(good(due.size()));
        due.push_back({sync.frameSync(), sync.nextSync(), sync.follows(), sync.locked()});
    }
    return due;
}
const auto allGood = [](std::size_t) { return true; };

// The sync stretch locks at its last stop bit with the signal's polarity; sync bytes in
// front of any other tail never do.
TEST(SyncSearch, LocksOnTheWholeStretchOnly) {
    struct Row {
        Tail tail;
        float sign;
    };
    const Row rows[] = {{Tail::Right, 1.0f},
                        {Tail::Right, -1.0f},
                        {Tail::Inverted, 1.0f},
                        {Tail::Random, 1.0f},
                        {Tail::Random, -1.0f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.tail) << " sign " << row.sign);
        SyncSearch sync(rs92Pattern());
        int64_t lockedAt = -1;
        runSync(sync, frameDecisions(3, row.tail, 3), row.sign, &lockedAt, allGood);
        if (row.tail != Tail::Right) {
            EXPECT_EQ(lockedAt, -1);
            continue;
        }
        // Frame 0's stretch began before the signal: frame 1 is the first to lock.
        EXPECT_EQ(lockedAt, kFirstFrame + kFrameSymbols + kSyncEnd);
        EXPECT_EQ(sync.polarity(), row.sign > 0 ? 1 : -1);
    }
}

// 30 of the tail's 160 data bits differ from a tail of zero bytes, yet it locks today (the
// whole stretch scores 0.805, the tail 0.70): enable when the thresholds reject it.
TEST(SyncSearch, AZeroTailNeverLocks) {
    SyncSearch sync(rs92Pattern());
    int64_t lockedAt = -1;
    runSync(sync, frameDecisions(3, Tail::Zero, 3), 1.0f, &lockedAt, allGood);
    EXPECT_EQ(lockedAt, -1);
}

// A frame that comes early or late (a gap or an insertion in frame 1) is followed there at
// once within the tracking window; beyond it, at the latest one frame later.
TEST(SyncSearch, FollowsAFrameThatMoved) {
    struct Row {
        int shift; // symbols inserted (> 0) or lost in frame 1
        bool atOnce;
    };
    const Row rows[] = {{0, true},   {20, true},  {-20, true}, {3, true},
                        {-41, true}, {60, false}, {-60, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shift);
        std::vector<float> v = frameDecisions(6, Tail::Right, 9);
        const auto mid = v.begin() + kFirstFrame + kFrameSymbols + 2000;
        if (row.shift > 0)
            v.insert(mid, static_cast<std::size_t>(row.shift), 0.0f);
        else
            v.erase(mid, mid - row.shift);
        SyncSearch sync(rs92Pattern());
        const std::vector<Due> due = runSync(sync, v, 1.0f, nullptr, allGood);
        ASSERT_EQ(due.size(), 4u);
        const int64_t s1 = kFirstFrame + kFrameSymbols + kSyncEnd;
        EXPECT_EQ(due[0].sync, s1);
        EXPECT_FALSE(due[0].follows);
        const int64_t s2 = s1 + kFrameSymbols + row.shift;
        if (row.atOnce) {
            EXPECT_EQ(due[0].next, s2);
            EXPECT_EQ(due[1].sync, s2);
            EXPECT_TRUE(due[1].follows);
        }
        for (std::size_t n = 2; n < due.size(); ++n) {
            EXPECT_EQ(due[n].sync, s2 + (n - 1) * kFrameSymbols) << n;
            EXPECT_EQ(due[n].next, due[n].sync + kFrameSymbols) << n;
        }
    }
}

// kMaxFailures frames in a row failing their checks drop the lock, a good one between does
// not; so do kMaxMisses frames not seen at all.
TEST(SyncSearch, DropsTheLockAfterFailuresOrMisses) {
    static_assert(SyncSearch::kMaxFailures == 3 && SyncSearch::kMaxMisses == 3);
    struct Row {
        bool silence; // from the middle of frame 2 on: frame 3 is missed, and the ones after
        std::vector<bool> good, locked; // what each due frame's checks say; locked after it
    };
    const Row rows[] = {{false, {0, 0, 1, 0, 0, 1}, {1, 1, 1, 1, 1, 1}},
                        {false, {1, 0, 0, 0}, {1, 1, 1, 0}},
                        {true, {1, 1, 1, 1, 1}, {1, 1, 1, 0}}};
    for (const Row& row : rows) {
        std::vector<float> v = frameDecisions(8, Tail::Right, 4);
        if (row.silence) {
            v.resize(kFirstFrame + 2 * kFrameSymbols + 2000);
            v.resize(v.size() + 5 * kFrameSymbols, 0.0f);
        }
        SyncSearch sync(rs92Pattern());
        const std::vector<Due> due = runSync(sync, v, 1.0f, nullptr, [&](std::size_t n) {
            return n >= row.good.size() || row.good[n];
        });
        ASSERT_GE(due.size(), row.locked.size());
        if (row.silence) {
            EXPECT_EQ(due.size(), row.locked.size());
        }
        for (std::size_t n = 0; n < row.locked.size(); ++n)
            EXPECT_EQ(due[n].lockedAfter, row.locked[n]) << n;
    }
}

// A byte's ten bits read back at the pairs' decisions; the reliability is e^(2 x) for the
// least sure bit's value x in units of the ring's level (a start or stop bit heard wrong
// counting as -x). The second choice flips the least sure data bit (the first of equals).
TEST(FrameReader, BytesAndTheirReliability) {
    const double e2 = std::exp(2.0);
    struct Row {
        uint8_t byte;
        int polarity;
        float size;     // of every value, in units of the ring's level
        int wrongBit;   // framing bit with the wrong sign (0 start, 9 stop), or -1
        int erasedBit;  // bit whose value is 0, or -1
        uint8_t expect; // as read
        uint8_t second;
        double reliability;
    };
    const Row rows[] = {
        {0xA5, 1, 1.0f, -1, -1, 0xA5, 0xA4, e2},
        {0x3C, -1, 1.0f, -1, -1, 0x3C, 0x3D, e2},
        {0x01, 1, 2.0f, -1, -1, 0x01, 0x00, std::exp(4.0)},
        {0x80, 1, 1.0f, 9, -1, 0x80, 0x81, 1.0 / e2},
        {0xFF, -1, 1.0f, 0, -1, 0xFF, 0xFE, 1.0 / e2},
        {0xFF, 1, 1.0f, -1, 8, 0x7F, 0xFF, 1.0},
        {0x00, -1, 1.0f, -1, 4, 0x00, 0x08, 1.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << int{row.byte} << " polarity " << row.polarity);
        std::vector<int> bits;
        addByte(bits, row.byte);
        std::vector<float> v(3, 0.0f); // the byte starts at symbol 3
        pushBits(v, bits);
        SoftRing ring;
        ring.level = 0.5f;
        for (std::size_t k = 0; k < v.size(); ++k) {
            const int bit = static_cast<int>(k) / 2 - 2; // the bit whose pair ends here (even k)
            float x = v[k] * row.size * ring.level * static_cast<float>(row.polarity);
            if (k % 2 == 0 && bit == row.wrongBit) x = -x;
            if (k % 2 == 0 && bit == row.erasedBit) x = 0.0f;
            ring.push(static_cast<int64_t>(k), x);
        }
        uint8_t byte = 0, second = 0;
        float reliability = 0.0f;
        FrameReader::readByte(ring, row.polarity, 3, byte, second, reliability);
        EXPECT_EQ(byte, row.expect);
        EXPECT_EQ(second, row.second);
        EXPECT_NEAR(reliability, row.reliability, 1e-4 * row.reliability);
    }
}

// Each frame delivered as one row: the 24 bytes before it, its 240 bytes, their
// reliabilities, and whether it follows the one before (1 or 0).
struct Recorder final : SentFrameListener {
    bool sentFrame(sent::ParityBytes before, sent::SentBytes bytes, sent::SentBytes,
                   sent::Reliabilities reliability, bool follows) override {
        std::vector<float>& f = frames.emplace_back(before.begin(), before.end());
        f.insert(f.end(), bytes.begin(), bytes.end());
        f.insert(f.end(), reliability.begin(), reliability.end());
        f.push_back(follows ? 1.0f : 0.0f);
        return answer;
    }
    std::vector<std::vector<float>> frames;
    bool answer = true;
};

// The first half of a frame is read from its own sync, the second half back from the next
// one's: a frame whose second half came 20 symbols late reads whole, and so do the 24 bytes
// before it.
TEST(FrameReader, ReadsTheHalvesFromEitherSync) {
    std::mt19937 rng(21);
    std::array<uint8_t, kLeadParityBytes + kSentBytes> sent{};
    for (uint8_t& b : sent)
        b = static_cast<uint8_t>(rng());
    std::vector<int> bits;
    for (int i = 0; i < kLeadParityBytes + kSentBytes / 2; ++i)
        addByte(bits, sent[static_cast<std::size_t>(i)]);
    std::vector<int> late;
    for (int i = kLeadParityBytes + kSentBytes / 2; i < kLeadParityBytes + kSentBytes; ++i)
        addByte(late, sent[static_cast<std::size_t>(i)]);
    std::vector<float> v(7, 0.0f);
    pushBits(v, bits);
    v.resize(v.size() + 20, 0.0f);
    pushBits(v, late);
    SoftRing ring;
    ring.level = 1.0f;
    for (std::size_t k = 0; k < v.size(); ++k)
        ring.push(static_cast<int64_t>(k), -v[k]);
    const int64_t sync = 7 + kLeadParityBytes * kSymbolsPerByte + kSyncEnd;
    for (const bool answer : {true, false}) {
        Recorder recorder;
        recorder.answer = answer;
        FrameReader reader;
        EXPECT_EQ(reader.deliver(ring, -1, sync, sync + kFrameSymbols + 20, answer, recorder),
                  answer);
        ASSERT_EQ(recorder.frames.size(), 1u);
        const std::vector<float>& f = recorder.frames[0];
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), f.begin()));
        for (std::size_t i = sent.size(); i < sent.size() + kSentBytes; ++i)
            EXPECT_NEAR(f[i], std::exp(2.0), 1e-4) << i;
        EXPECT_EQ(f.back(), answer ? 1.0f : 0.0f);
    }
}

// After a reset, whatever came before (an IF carrier 1500 Hz off, FM Det audio with a DC
// offset that the fine loop took over), the receiver does exactly what a fresh one does.
TEST(WeakReceiver, AResetEqualsAFreshReceiver) {
    struct Row {
        bool firstIf, secondIf;
    };
    for (const Row row : {Row{true, false}, Row{false, false}, Row{true, true}}) {
        SCOPED_TRACE(testing::Message() << row.firstIf << " then " << row.secondIf);
        const std::vector<int16_t> heardFirst =
            synth::synthesize({.frames = 2,
                               .ifSignal = row.firstIf,
                               .ebN0dB = 14.0,
                               .carrierOffsetHz = row.firstIf ? 1500.0 : 300.0});
        std::vector<int16_t> heardSecond = synth::synthesize({.frames = 3,
                                                              .serial = "P7654321",
                                                              .ifSignal = row.secondIf,
                                                              .ebN0dB = 14.0,
                                                              .seed = 2});
        heardSecond.resize((heardSecond.size() / kBlockWords + 2) * kBlockWords, 0);
        ReceiverSettings settings;
        settings.Weak = true;

        Recorder usedRecorder, freshRecorder;
        WeakReceiver used(&usedRecorder), fresh(&freshRecorder);
        settings.DemodType = row.firstIf ? 1 : 0;
        for (std::size_t i = 0; i + kBlockWords <= heardFirst.size(); i += kBlockWords)
            used.processBlock(heardFirst.data() + i, settings);
        used.reset();
        usedRecorder.frames.clear();
        settings.DemodType = row.secondIf ? 1 : 0;
        for (std::size_t i = 0; i < heardSecond.size(); i += kBlockWords) {
            used.processBlock(heardSecond.data() + i, settings);
            fresh.processBlock(heardSecond.data() + i, settings);
            const Baseband &u = used.baseband(), &f = fresh.baseband();
            ASSERT_TRUE(u.re == f.re && u.im == f.im && u.freq == f.freq && u.clips == f.clips)
                << i / kBlockWords;
            ASSERT_TRUE(used.eyeTicks() == fresh.eyeTicks());
            ASSERT_EQ(used.symbolPeriod(), fresh.symbolPeriod());
            ASSERT_EQ(used.carrierOffsetHz(), fresh.carrierOffsetHz());
            ASSERT_EQ(used.locked(), fresh.locked());
        }
        EXPECT_GE(freshRecorder.frames.size(), 2u);
        EXPECT_TRUE(usedRecorder.frames == freshRecorder.frames);
    }
}

} // namespace
} // namespace nimbo
