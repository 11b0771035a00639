// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's signals read back symbol by symbol (RS92 and RS41 on FM Det and IF), lengths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "dsp/frame_sync.h"
#include "tests/synth_signal.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {
using test::kRate;
using test::synthesizeIq;

// The symbol sent at symbol index k (from the first header symbol), read back from one
// channel of the signal: FM Det by the sign at the symbol's centre, IF by comparing the
// energy of the two tones over the symbol's samples.
int readSymbol(const std::vector<int16_t>& s, int word, const SynthOptions& o, int64_t k) {
    const int64_t lead = std::llround(o.leadInSeconds * kRate);
    const int64_t begin = lead + static_cast<int64_t>(std::ceil(k * kRate / o.symbolRate));
    const int64_t end = lead + static_cast<int64_t>(std::ceil((k + 1) * kRate / o.symbolRate));
    if (!o.ifSignal) {
        const double v = s[2 * ((begin + end) / 2) + word];
        return (v > 0) != o.invert ? 1 : 0;
    }
    auto energy = [&](double hz) {
        double re = 0, im = 0;
        for (int64_t m = begin; m < end; ++m) {
            re += s[2 * m + word] * std::cos(2 * std::numbers::pi * hz * m / kRate);
            im += s[2 * m + word] * std::sin(2 * std::numbers::pi * hz * m / kRate);
        }
        return re * re + im * im;
    };
    const double f = 12000.0 + o.carrierOffsetHz;
    const bool high = energy(f + o.deviationHz) > energy(f - o.deviationHz);
    return high != o.invert ? 1 : 0;
}

// Bytes back from symbols: Manchester pairs must be complementary, start 0, stop 1.
std::vector<uint8_t> readBytes(const std::vector<int16_t>& s, int word, const SynthOptions& o,
                               int count) {
    std::vector<uint8_t> bytes;
    for (int byte = 0; byte < count; ++byte) {
        int bits[10];
        for (int bit = 0; bit < 10; ++bit) {
            const int64_t k = 20LL * byte + 2 * bit;
            const int first = readSymbol(s, word, o, k), second = readSymbol(s, word, o, k + 1);
            EXPECT_NE(first, second) << "byte " << byte << " bit " << bit;
            bits[bit] = second;
        }
        EXPECT_EQ(bits[0], 0) << "start bit of byte " << byte;
        EXPECT_EQ(bits[9], 1) << "stop bit of byte " << byte;
        int value = 0;
        for (int bit = 8; bit >= 1; --bit)
            value = value << 1 | bits[bit];
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

TEST(SynthSignal, SymbolsBytesAndChannelsAsSent) {
    // 0x68, bits least significant first 0,0,0,1,0,1,1,0, framed by start 0 and stop 1;
    // bit 1 -> 0,1 and bit 0 -> 1,0.
    const int firstByteSymbols[20] = {1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 0, 1};
    const struct {
        const char* name;
        bool ifSignal, invert, right;
        double leadIn, rate, offset;
        const char* other;
    } cases[] = {
        {"FmDet", false, false, false, 0.0, 4800, 0, "X9876543"},
        {"FmDetInvertedRightLeadIn", false, true, true, 0.25, 4800, 0, ""},
        {"FmDetSlowDcOffset", false, false, false, 0.1, 4795, 600, "OTHER001"},
        {"FmDetFast", false, true, false, 0.0, 4810, 0, ""},
        {"If", true, false, false, 0.0, 4800, 0, "X9876543"},
        {"IfInvertedRightOffset", true, true, true, 0.05, 4800, -700, "OTHER002"},
        {"IfSlow", true, false, true, 0.0, 4795, 300, ""},
        {"IfFast", true, false, false, 0.1, 4810, 0, "X9876543"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o;
        o.frames = 2;
        o.ifSignal = c.ifSignal;
        o.invert = c.invert;
        o.rightChannel = c.right;
        o.leadInSeconds = c.leadIn;
        o.symbolRate = c.rate;
        o.carrierOffsetHz = c.offset;
        o.otherSerial = c.other;
        const auto s = synthesize(o);
        const int word = c.right ? 1 : 0;

        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(readSymbol(s, word, o, k), firstByteSymbols[k]) << k;
        for (int k = -40; k < 0 && c.leadIn > 0; ++k) // idle stop bits: 0, 1, 0, 1, ...
            EXPECT_EQ(readSymbol(s, word, o, k), k & 1) << "lead-in symbol " << k;

        const auto bytes = readBytes(s, word, o, 480);
        for (int n = 0; n < 2; ++n) {
            const auto content = buildFrame(o, n);
            EXPECT_EQ(0, std::memcmp(&bytes[240 * n], headerPatternBytes.data(), 20)) << n;
            EXPECT_EQ(0, std::memcmp(&bytes[240 * n + 20], content.data(), 220)) << n;
        }

        if (c.ifSignal) {
            // Manchester sends as many 1 as 0 symbols, so over one frame the IF's mean
            // frequency is the carrier: 2 x (12000 + offset) zero crossings a second.
            const int64_t lead = std::llround(c.leadIn * kRate);
            const int64_t end = lead + static_cast<int64_t>(std::ceil(4800 * kRate / c.rate));
            int crossings = 0;
            for (int64_t m = lead + 1; m < end; ++m)
                crossings += (s[2 * m + word] >= 0) != (s[2 * (m - 1) + word] >= 0);
            EXPECT_NEAR(crossings, 2 * (12000 + c.offset) * 4800 / c.rate, 3);
        }

        bool otherSilent = true;
        for (std::size_t i = 1 - word; i < s.size(); i += 2)
            otherSilent &= s[i] == 0;
        EXPECT_EQ(otherSilent, *c.other == '\0');
        if (*c.other) {
            SynthOptions other = o;
            other.serial = c.other;
            const auto otherBytes = readBytes(s, 1 - word, other, 240);
            EXPECT_EQ(0, std::memcmp(&otherBytes[20], buildFrame(other, 0).data(), 220));
            EXPECT_EQ(0, std::memcmp(&otherBytes[20 + 36], c.other, std::strlen(c.other)));
        }
    }
}

// RS41 on the audio outputs: symbol k is bit k of the scrambled frame, least significant bit
// of each byte first, alternating 0, 1 after the frame; the other channel is silent.
TEST(SynthSignal, Rs41BitsOnFmDetAndIf) {
    const struct {
        const char* name;
        bool ifSignal, invert, right, audioNoise;
        double leadIn, offset;
    } cases[] = {
        {"FmDetReceiver", false, false, false, false, 0.0, 0},
        {"FmDetAudioInvertedRightLeadIn", false, true, true, true, 0.25, 0},
        {"If", true, false, false, false, 0.0, 0},
        {"IfInvertedOffset", true, true, true, false, 0.1, -600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o;
        o.sonde = Sonde::Rs41;
        o.serial = kRs41DefaultSerial;
        o.frames = 2;
        o.ifSignal = c.ifSignal;
        o.invert = c.invert;
        o.rightChannel = c.right;
        o.audioNoise = c.audioNoise;
        o.leadInSeconds = c.leadIn;
        o.carrierOffsetHz = c.offset;
        const auto s = synthesize(o);
        const int word = c.right ? 1 : 0;
        for (int n = 0; n < 2; ++n) {
            Rs41Bytes frame;
            ASSERT_EQ(buildRs41Frame(o, n, frame), 320);
            for (int k = 0; k < 2600; ++k) {
                const int sent =
                    k < 2560 ? (frame[k / 8] ^ rs41::kMask[k / 8 % 64]) >> (k % 8) & 1 : k & 1;
                ASSERT_EQ(readSymbol(s, word, o, 4800 * n + k), sent)
                    << "frame " << n << " bit " << k;
            }
        }
        for (int k = -40; k < 0 && c.leadIn > 0; ++k)
            EXPECT_EQ(readSymbol(s, word, o, k), k & 1) << "lead-in bit " << k;
        for (std::size_t i = 1 - word; i < s.size(); i += 2)
            ASSERT_EQ(s[i], 0) << "sample " << i;
    }
}

TEST(SynthSignal, LengthCoversLeadInAndEveryFrame) {
    const struct {
        int frames;
        double leadIn, rate;
        int iqRate;       // 0: audio
        int64_t expected; // stereo frames or I/Q pairs
    } cases[] = {
        {1, 0.0, 4800, 0, 48000},
        {3, 0.5, 4800, 0, 24000 + 3 * 48000},
        {2, 0.0, 4810, 0, 2 * 48000}, // faster: idle fills up to the full seconds
        {2, 0.0, 4795, 0, (2 * 4800 * 48000 + 4794) / 4795}, // slower: until the last symbol ends
        {1, 0.0, 4800, 240000, 240000},
        {2, 0.25, 4810, 96000, 24000 + 2 * 96000},
        {1, 0.0, 4795, 1000000, (4800LL * 1000000 + 4794) / 4795},
    };
    for (const auto& c : cases) {
        SynthOptions o;
        o.frames = c.frames;
        o.leadInSeconds = c.leadIn;
        o.symbolRate = c.rate;
        if (c.iqRate > 0) {
            o.iqFormat = IqFormat::U8;
            o.iqRate = c.iqRate;
        }
        EXPECT_EQ(signalLength(o), c.expected) << c.frames << " frames at " << c.rate;
        const std::size_t size = c.iqRate > 0 ? synthesizeIq(o).size() : synthesize(o).size();
        EXPECT_EQ(size, static_cast<std::size_t>(2 * c.expected));
    }
}

} // namespace
} // namespace nimbo::synth
