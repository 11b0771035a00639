// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth: frame content, calibration table, line coding, modulation, noise and the
// command line, each checked against values worked out independently of the generator.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "decode/crc16.h"
#include "decode/reed_solomon.h"
#include "dsp/frame_sync.h"
#include "tests/tool_runner.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {

constexpr int kRate = 48000;

// Bit by bit from the definition: poly 0x1021, preset 0xFFFF, MSB first, no final XOR.
uint16_t referenceCrc(const uint8_t* data, std::size_t n) {
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

struct BlockRange {
    int first, last;
};
constexpr BlockRange kBlocks[3] = {{32, 63}, {68, 91}, {96, 217}}; // sonde, sensor, GPS

bool blockGood(const std::array<uint8_t, 220>& f, const BlockRange& b) {
    const uint16_t stored = static_cast<uint16_t>(f[b.last + 1] | f[b.last + 2] << 8);
    return referenceCrc(&f[b.first], static_cast<std::size_t>(b.last - b.first + 1)) == stored;
}

uint32_t le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

TEST(SynthCrc, CheckValueAndEveryBlockOfEveryFrame) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(referenceCrc(digits, 9), 0x29B1);
    EXPECT_EQ(crc16CcittFalse(digits, 9), 0x29B1);

    // (frame, block) to corrupt; -1: none. Only that block of that frame may fail.
    const struct { int frame, block; } cases[] = {{-1, -1}, {0, 0}, {1, 1}, {3, 2}, {2, 0}};
    for (const auto& c : cases) {
        SynthOptions o;
        o.frames = 4;
        o.corruptFrame = c.frame;
        o.corruptBlock = c.block;
        SynthOptions clean = o;
        clean.corruptFrame = clean.corruptBlock = -1;
        for (int n = 0; n < o.frames; ++n) {
            const auto f = buildFrame(o, n);
            for (int b = 0; b < 3; ++b)
                EXPECT_EQ(blockGood(f, kBlocks[b]), !(n == c.frame && b == c.block))
                    << "corrupt " << c.frame << ":" << c.block << ", frame " << n << " block " << b;
            // The damage is one byte inside the block, after the CRC was computed.
            const auto g = buildFrame(clean, n);
            int differing = 0;
            for (int i = 0; i < 220; ++i)
                if (f[i] != g[i]) {
                    ++differing;
                    EXPECT_GE(i, kBlocks[c.block].first);
                    EXPECT_LE(i, kBlocks[c.block].last);
                }
            EXPECT_EQ(differing, n == c.frame ? 1 : 0);
        }
    }
}

TEST(SynthFrame, FieldsFollowTheLayoutAndAdvance) {
    const struct {
        int firstFrame, firstPiece;
        const char* serial;
        bool humidSwap;
        const char serialBytes[9]; // as sent, NUL padded
    } cases[] = {
        {1, 0, "N1234567", false, "N1234567"},
        {65534, 30, "AB", true, "AB\0\0\0\0\0\0"},
        {0, 31, "", false, "\0\0\0\0\0\0\0\0"},
    };
    for (const auto& c : cases) {
        SynthOptions o;
        o.frames = 5;
        o.firstFrameNumber = c.firstFrame;
        o.firstCalIndex = c.firstPiece;
        o.serial = c.serial;
        o.humidSwap = c.humidSwap;
        const auto table = calibrationTable(o);
        std::array<uint8_t, 220> previous{};
        for (int n = 0; n < o.frames; ++n) {
            SCOPED_TRACE(std::string("serial '") + c.serial + "' frame " + std::to_string(n));
            const auto f = buildFrame(o, n);
            EXPECT_EQ(le(&f[32], 2), static_cast<uint32_t>((c.firstFrame + n) % 65536));
            const int piece = (c.firstPiece + n) % 32;
            EXPECT_EQ(f[47], piece);
            EXPECT_EQ(0, std::memcmp(&f[48], &table[16 * piece], 16));
            if (piece == 0) {
                EXPECT_EQ(le(&f[50], 2), le(&table[2], 2)); // transmit frequency
            }
            EXPECT_EQ(0, std::memcmp(&f[36], c.serialBytes, 8));
            EXPECT_EQ((f[45] >> 3) & 1, c.humidSwap ? 1 : 0);
            EXPECT_EQ(f[30], 0x65);
            EXPECT_EQ(f[31], 0x10);
            EXPECT_EQ(f[66], 0x69);
            EXPECT_EQ(f[67], 0x0C);
            EXPECT_EQ(f[94], 0x67);
            EXPECT_EQ(f[95], 0x3D);
            EXPECT_NE(0, std::memcmp(&f[96], &previous[96], 122)); // GPS changes every frame
            EXPECT_EQ(f, buildFrame(o, n));                        // and is deterministic
            previous = f;
        }
    }
}

// Bytes 24..219 of frame n - 1, the header and bytes 0..23 of frame n form a sent frame that is a
// codeword of the sonde's Reed-Solomon code; the parity was computed before the damage, so the
// damaged byte (frame 2, sensor block) is found again, and 12 bytes of damage are repaired.
TEST(SynthFrame, ParityMakesEverySentFrameACorrectableCodeword) {
    SynthOptions o;
    o.frames = 5;
    o.corruptFrame = 2;
    o.corruptBlock = 1;
    SynthOptions clean = o;
    clean.corruptFrame = clean.corruptBlock = -1;
    for (int n = 1; n < o.frames; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        const auto previous = buildFrame(o, n - 1), frame = buildFrame(o, n);
        std::array<uint8_t, rs::kSentFrameBytes> sent{};
        rs::sentFromContent(previous, frame, sent);
        EXPECT_EQ(0, std::memcmp(sent.data(), "\x2A\x2A\x2A\x2A\x2A\x10", 6));
        std::array<uint8_t, rs::kCodeLength> c{};
        rs::codewordFromSent(sent, c);
        EXPECT_EQ(rs::decode(c), n - 1 == o.corruptFrame ? 1 : 0);
        for (int k = 0; k < 12; ++k) // every 19th byte from sent byte 7, parity included
            c[rs::codewordPosition(7 + 19 * k)] ^= static_cast<uint8_t>(0x11 * (k + 1));
        ASSERT_EQ(rs::decode(c), 12);
        auto repaired = previous;
        auto next = frame;
        rs::sentFromCodeword(c, sent);
        rs::contentFromSent(sent, repaired, next);
        EXPECT_EQ(repaired, buildFrame(clean, n - 1));
        EXPECT_EQ(next, frame);
    }
}

// Channel order: Temp, Humd1, Humd2, RefH1, RefH2, Press, RefL1, RefL2.
TEST(SynthFrame, SensorChannelsLieBetweenReferencesAndDrift) {
    for (const char* serial : {"N1234567", "K7654321", "Z0000001"}) {
        SynthOptions o;
        o.serial = serial;
        o.frames = 4000;
        auto normalised = [&](int n, int channel) {
            const auto f = buildFrame(o, n);
            double v[8];
            for (int i = 0; i < 8; ++i)
                v[i] = le(&f[68 + 3 * i], 3);
            EXPECT_LT(std::fabs(v[3] - v[4]), 0x400) << serial; // reference pairs agree
            EXPECT_LT(std::fabs(v[6] - v[7]), 0x400) << serial;
            EXPECT_GT(v[3], v[6] + 0x100000) << serial; // high well above low
            const double low = (v[6] + v[7]) / 2, high = (v[3] + v[4]) / 2;
            return (v[channel] - low) / (high - low);
        };
        for (int n : {0, 1, 500, 1999, 3999})
            for (int channel : {0, 1, 2, 5}) {
                const double x = normalised(n, channel);
                EXPECT_GT(x, 0.0) << serial << " frame " << n << " channel " << channel;
                EXPECT_LT(x, 1.0) << serial << " frame " << n << " channel " << channel;
            }
        EXPECT_GT(normalised(0, 0), normalised(1000, 0) + 0.05) << "temperature falls";
        EXPECT_GT(normalised(0, 5), normalised(1000, 5) + 0.05) << "pressure falls";
        EXPECT_NEAR(normalised(0, 0), normalised(1, 0), 0.002) << "slowly";
    }
}

// --flight over two hours: launch at frame 0, about 5 m/s up, burst 100-110 minutes in.
TEST(SynthFlight, ChannelsFollowAscentBurstAndFall) {
    SynthOptions o;
    o.frames = 7200;
    o.flight = true;
    SynthOptions plain = o;
    plain.flight = false;
    std::vector<std::array<double, 8>> level(o.frames); // normalised Temp..RefL2
    std::array<uint32_t, 8> firstRaw{};
    for (int n = 0; n < o.frames; ++n) {
        const auto f = buildFrame(o, n);
        if (n % 97 == 0) {
            SCOPED_TRACE("frame " + std::to_string(n));
            for (const BlockRange& b : kBlocks)
                EXPECT_TRUE(blockGood(f, b)) << "block at " << b.first;
            // Only the sensor values, their CRC and the parity differ from the plain
            // frame.
            const auto g = buildFrame(plain, n);
            EXPECT_EQ(0, std::memcmp(&f[24], &g[24], 68 - 24));
            EXPECT_EQ(0, std::memcmp(&f[94], &g[94], 220 - 94));
        }
        uint32_t raw[8];
        for (int i = 0; i < 8; ++i)
            raw[i] = le(&f[68 + 3 * i], 3);
        if (n == 0) std::copy(raw, raw + 8, firstRaw.begin());
        for (int i : {3, 4, 6, 7}) // references stay put but for a few counts of noise
            ASSERT_NEAR(raw[i], firstRaw[i], 0x40) << "frame " << n << " reference " << i;
        const double low = (raw[6] + raw[7]) / 2.0, high = (raw[3] + raw[4]) / 2.0;
        for (int i = 0; i < 8; ++i)
            level[n][i] = (raw[i] - low) / (high - low);
        for (int i : {0, 1, 2, 5}) {
            ASSERT_GT(level[n][i], 0.0) << "frame " << n << " channel " << i;
            ASSERT_LT(level[n][i], 1.0) << "frame " << n << " channel " << i;
        }
    }
    const auto press = [&](int n) { return level[n][5]; };
    const auto temp = [&](int n) { return level[n][0]; };
    int burst = 0;
    for (int n = 1; n < o.frames; ++n)
        if (press(n) < press(burst)) burst = n;
    EXPECT_GE(burst, 100 * 60);
    EXPECT_LE(burst, 110 * 60);
    for (int n = 300; n + 300 < burst; n += 300)
        EXPECT_LT(press(n), press(n - 300)) << "climbing at frame " << n;
    for (int n = burst + 300; n < o.frames; n += 300)
        EXPECT_GT(press(n), press(n - 300)) << "falling at frame " << n;
    EXPECT_GT(press(0), 0.8) << "the chart shows pressure from near its right edge";
    EXPECT_LT(press(burst), 0.1) << "to near its left edge";
    EXPECT_GT(press(burst + 900), press(burst - 900) + 0.1) << "the fall is faster than the climb";
    EXPECT_LT(temp(2000), temp(0) - 0.3) << "colder at 10 km";
    EXPECT_GT(temp(0), 0.7);
    // Humidity: wetter low down than in the stratosphere, and not one smooth slope.
    double lowSum = 0, highSum = 0, rise = 0;
    for (int n = 0; n < 600; ++n) {
        lowSum += level[n][1];
        highSum += level[n + 3000][1];
    }
    for (int n = 300; n < 2000; ++n)
        rise = std::max(rise, level[n][1] - level[n - 300][1]);
    EXPECT_GT(lowSum / 600, highSum / 600 + 0.3);
    EXPECT_GT(rise, 0.1) << "a moist layer above a drier one";
}

TEST(SynthCalibration, TableLayoutAndCoefficientsAsChosen) {
    SynthOptions a, b;
    a.serial = "N1234567";
    b.serial = "N1234568";
    EXPECT_NE(calibrationTable(a), calibrationTable(b)) << "each sonde has its own table";
    for (const SynthOptions& o : {a, b}) {
        const auto t = calibrationTable(o);
        const auto chosen = calibrationCoefficients(o);
        const double mhz = le(&t[2], 2) * 0.01 + 400.0;
        EXPECT_GE(mhz, 400.0);
        EXPECT_LE(mhz, 406.0);
        int negative = 0, small = 0;
        for (int n = 0; n < 66; ++n) {
            EXPECT_EQ(t[64 + 5 * n], calibrationIndexByte(n));
            // Decoded by hand: (-1)^s x 2^(e-127) x (1 + m / 2^23); e never 0 or 255.
            const uint32_t bits = le(&t[65 + 5 * n], 4);
            const int e = static_cast<int>(bits >> 23 & 0xFF);
            ASSERT_GT(e, 0) << "entry " << n;
            ASSERT_LT(e, 255) << "entry " << n;
            const double value = ((bits >> 31) ? -1.0 : 1.0) * std::ldexp(1.0, e - 127) *
                                 (1.0 + (bits & 0x7FFFFF) / 8388608.0);
            EXPECT_EQ(value, static_cast<double>(chosen[n])) << "entry " << n;
            negative += value < 0;
            small += std::fabs(value) < 0.01;
        }
        EXPECT_GE(negative, 3);
        EXPECT_GE(small, 3);
        // The documented example line: entry 7, index byte 0x1C, -0.0012345678.
        char line[64];
        std::snprintf(line, sizeof line, "%02d,%02X,%0.10f", 7, t[64 + 35], double(chosen[7]));
        EXPECT_STREQ(line, "07,1C,-0.0012345678");
        for (int i = 394; i < 512; ++i)
            EXPECT_EQ(t[i], 0) << "byte " << i;
    }
}

// The whole I/Q signal, full scale +-1.
std::vector<float> synthesizeIq(const SynthOptions& o) {
    Synthesizer synth(o);
    std::vector<float> iq(static_cast<std::size_t>(2 * synth.length()));
    EXPECT_EQ(synth.generateIq(iq.data(), iq.size()), iq.size() / 2);
    return iq;
}

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

TEST(SynthNoise, VarianceFollowsTheEbN0Definition) {
    const struct {
        bool ifSignal;
        double ebN0dB, amplitude, rate;
        bool rs41; // one symbol a bit: Rb = rate
    } cases[] = {{false, 20, 8000, 4800, false}, {false, 10, 3000, 4800, false},
                 {true, 15, 8000, 4800, false},  {true, 5, 2000, 5000, false},
                 {false, 10, 8000, 4800, true},  {true, 8, 6000, 4800, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ifSignal ? "IF " : "FM Det ") + std::to_string(c.ebN0dB) +
                     " dB" + (c.rs41 ? " RS41" : ""));
        SynthOptions o;
        if (c.rs41) {
            o.sonde = Sonde::Rs41;
            o.serial = "S1234567";
        }
        o.frames = 2;
        o.ifSignal = c.ifSignal;
        o.amplitude = c.amplitude;
        o.symbolRate = c.rate;
        o.ebN0dB = c.ebN0dB;
        o.audioNoise = true; // FM Det: the model that adds the noise to the samples
        SynthOptions clean = o;
        clean.ebN0dB = std::numeric_limits<double>::infinity();
        const auto noisy = synthesize(o), pure = synthesize(clean);
        ASSERT_EQ(noisy.size(), pure.size());

        // sigma^2 = Ps * 48000 / (2 * Rb * Eb/N0), Rb = rate / 2 (RS41: rate), Ps = A^2 (FM) or
        // A^2 / 2 (IF).
        const double ps = c.ifSignal ? c.amplitude * c.amplitude / 2 : c.amplitude * c.amplitude;
        const double rb = c.rs41 ? c.rate : c.rate / 2;
        const double expected = ps * 48000 / (2 * rb * std::pow(10.0, c.ebN0dB / 10));
        EXPECT_NEAR(noiseVariance(o), expected, expected * 1e-12);
        double sum[2] = {}, squares[2] = {}, cross = 0;
        const std::size_t n = noisy.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            const double d0 = noisy[2 * i] - pure[2 * i], d1 = noisy[2 * i + 1] - pure[2 * i + 1];
            sum[0] += d0;
            sum[1] += d1;
            squares[0] += d0 * d0;
            squares[1] += d1 * d1;
            cross += d0 * d1;
        }
        if (c.rs41) { // one sonde: the other channel is digital silence
            for (std::size_t i = 1; i < noisy.size(); i += 2)
                ASSERT_EQ(noisy[i], 0) << "sample " << i;
        }
        for (int ch = 0; ch < (c.rs41 ? 1 : 2); ++ch) {
            EXPECT_NEAR(squares[ch] / n, expected, 0.03 * expected) << "channel " << ch;
            EXPECT_NEAR(sum[ch] / n, 0.0, 0.02 * std::sqrt(expected)) << "channel " << ch;
        }
        EXPECT_LT(std::fabs(cross / n), 0.02 * expected) << "the channels' noise is independent";

        SynthOptions reseeded = o;
        reseeded.seed = o.seed + 1;
        EXPECT_EQ(synthesize(o), noisy) << "same seed, same signal";
        EXPECT_NE(synthesize(reseeded), noisy);
    }
}

TEST(SynthPulse, IdleLineAtSymbolCentresAndEdges) {
    // The idle line alternates 0,1,0,1... With square pulses the audio sits at +-amplitude;
    // Gaussian pulses (BT 0.5) sum at a symbol's centre to p(0) - 2 p(1) + 2 p(2) - ... =
    // 0.88160 of it, p(tau) = (erf(a (tau + 1/2)) - erf(a (tau - 1/2))) / 2 with
    // a = pi BT sqrt(2 / ln 2), and cross zero at the edges. The receiver model (no noise)
    // shows the same through its IF filter and discriminator, a few samples late.
    const struct {
        const char* name;
        bool square, audioNoise;
        double centre, edge; // magnitudes, fractions of the amplitude
        double tolerance;
    } cases[] = {
        {"Square", true, true, 1.0, 1.0, 0.5 / 8000},
        {"Gaussian", false, true, 0.88160, 0.0, 0.5 / 8000 + 1e-4},
        {"GaussianReceiver", false, false, 0.88160, 0.0, 0.03},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o;
        o.frames = 1;
        o.leadInSeconds = 0.1;
        o.squarePulses = c.square;
        o.audioNoise = c.audioNoise;
        const auto s = synthesize(o);
        // Symbols -100..-81 of the lead-in, 10 samples each: centres at sample 10 k + 5 and
        // edges at 10 k. The receiver model is late: take each symbol's extreme instead.
        const int64_t lead = std::llround(o.leadInSeconds * kRate);
        for (int64_t k = -100; k < -80; ++k) {
            const int64_t begin = lead + 10 * k;
            const double sign = (k & 1) ? 1.0 : -1.0;
            double peak = 0.0;
            for (int64_t m = begin; m < begin + 10; ++m)
                peak = std::max(peak, sign * s[2 * m]);
            if (c.audioNoise) peak = sign * s[2 * (begin + 5)];
            EXPECT_NEAR(peak / 8000, c.centre, c.tolerance) << k;
            if (c.audioNoise) {
                EXPECT_NEAR(std::fabs(s[2 * begin]) / 8000, c.edge, c.tolerance) << k;
            }
        }
    }
}

TEST(SynthNoise, ReceiverModelNoiseFollowsTheIfBandwidth) {
    // Above threshold the phase sees only the noise's quadrature half, so the discriminator's
    // frequency noise has the density (N0 / 2C) f^2 over the IF filter: variance
    // (N0 / 2C) * 2 fc^3 * (pi / 8) / sin(3 pi / 8) for a 4-pole Butterworth of cut-off fc,
    // with N0 / C = 1 / (Rb * Eb/N0). In audio units times (amplitude / deviation)^2.
    // At 30 dB: 74,722 Hz^2 -> 830,184.
    const double fc = 7500, rb = 2400, ebN0 = 1000;
    const double hz2 =
        fc * fc * fc * (std::numbers::pi / 8) / std::sin(3 * std::numbers::pi / 8) / (rb * ebN0);
    const double expected = hz2 * (8000.0 / 2400) * (8000.0 / 2400);
    SynthOptions o;
    o.frames = 2;
    o.ebN0dB = 30;
    SynthOptions clean = o;
    clean.ebN0dB = std::numeric_limits<double>::infinity();
    const auto noisy = synthesize(o), pure = synthesize(clean);
    double squares = 0;
    const std::size_t n = noisy.size() / 2;
    for (std::size_t i = 0; i < n; ++i)
        squares += std::pow(noisy[2 * i] - pure[2 * i], 2);
    EXPECT_NEAR(squares / n, expected, 0.1 * expected);
    EXPECT_NEAR(rfNoiseVariance(o), 48000 / (rb * ebN0), 1e-12);
}

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

// The program writes exactly what the library makes, as raw PCM, WAV and truth file.
TEST(SynthCli, OutputsMatchTheLibrary) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-cli");
    SynthOptions o;
    o.frames = 2;
    o.ifSignal = true;
    o.ebN0dB = 18;
    o.seed = 77;
    o.serial = "P5";
    o.rightChannel = true;
    o.corruptFrame = 1;
    o.corruptBlock = 2;
    o.flight = true;
    const auto expected = synthesize(o);

    const auto raw = nimbo::test::runTool({kSynthExe, "-n", "2", "--if", "--ebn0", "18", "--seed",
                                           "77", "--serial", "P5", "--right", "--corrupt", "1:gps",
                                           "--flight", "--truth", dir + "/truth.txt", "-o", "-"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    ASSERT_EQ(raw.out.size(), expected.size() * 2);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto lo = static_cast<uint8_t>(raw.out[2 * i]),
                   hi = static_cast<uint8_t>(raw.out[2 * i + 1]);
        ASSERT_EQ(static_cast<int16_t>(lo | hi << 8), expected[i]) << "sample " << i;
    }
    std::istringstream truth(nimbo::test::readFile(dir + "/truth.txt"));
    for (int n = 0; n < 2; ++n) {
        std::string line;
        ASSERT_TRUE(std::getline(truth, line));
        std::string hex;
        char digits[3];
        for (uint8_t b : buildFrame(o, n)) {
            std::snprintf(digits, sizeof digits, "%02X", b);
            hex += digits;
        }
        EXPECT_EQ(line, hex) << "frame " << n;
    }

    SynthOptions w;
    w.frames = 1;
    w.otherSerial = "";
    w.leadInSeconds = 0.2;
    const std::string wav = dir + "/signal.wav";
    const auto made = nimbo::test::runTool(
        {kSynthExe, "--frames", "1", "--other-serial", "", "--lead-in", "0.2", "-o", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> read(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_short(f, read.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(read, synthesize(w));
}

// Raw pairs to a file and to stdout, and a WAV file at the I/Q rate, in each format.
TEST(SynthCli, IqOutputsMatchTheLibrary) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-cli-iq");
    const struct {
        const char* format;
        IqFormat iq;
        int bytes, wavFormat, rate;
        double leadIn, offset, ebN0dB;
    } cases[] = {
        // s16: the carrier at the band's edge, 0.4 x 48000 - (2400 + 4800).
        {"u8", IqFormat::U8, 1, SF_FORMAT_PCM_U8, 240000, 0, 0, 10},
        {"s16", IqFormat::S16, 2, SF_FORMAT_PCM_16, 48000, 0.5, 12000, 12},
        {"f32", IqFormat::F32, 4, SF_FORMAT_FLOAT, 96000, 0, -20000, INFINITY},
    };
    const auto truth = dir + "/truth.txt", audioTruth = dir + "/audio-truth.txt";
    ASSERT_EQ(
        nimbo::test::runTool({kSynthExe, "-n", "1", "--truth", audioTruth, "-o", "-"}).exitCode, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        SynthOptions o;
        o.frames = 1;
        o.iqFormat = c.iq;
        o.iqRate = c.rate;
        o.leadInSeconds = c.leadIn;
        o.iqOffsetHz = c.offset;
        o.ebN0dB = c.ebN0dB;
        o.seed = 9;
        o.invert = true;
        std::vector<std::string> argv = {kSynthExe,  "-n",   "1",      "--seed",  "9",
                                         "--invert", "--iq", c.format, "--truth", truth};
        for (const auto& [name, value] : {std::pair{"--iq-rate", double(c.rate)},
                                          {"--lead-in", c.leadIn},
                                          {"--iq-offset", c.offset},
                                          {"--ebn0", c.ebN0dB}}) {
            std::ostringstream text;
            text << value; // 240000, 0.5, inf
            argv.insert(argv.end(), {name, text.str()});
        }
        const std::string raw = dir + "/iq.raw", wav = dir + "/iq.WAV";
        for (const std::string& out : {raw, wav, std::string("-")}) {
            argv.insert(argv.end(), {"-o", out});
            const auto run = nimbo::test::runTool(argv);
            argv.resize(argv.size() - 2);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(nimbo::test::readFile(truth), nimbo::test::readFile(audioTruth));
            if (out == "-") {
                EXPECT_TRUE(run.out == nimbo::test::readFile(raw)) << "stdout as the file";
            }
        }
        const std::string bytes = nimbo::test::readFile(raw);
        const auto pairs = static_cast<std::size_t>((c.leadIn + 1) * c.rate);
        ASSERT_EQ(bytes.size(), 2 * pairs * c.bytes);
        const auto values = synthesizeIq(o);
        std::string expected(values.size() * c.bytes, '\0');
        encodeIq(values.data(), values.size(), c.iq,
                 reinterpret_cast<unsigned char*>(expected.data()));
        EXPECT_TRUE(bytes == expected) << "the program writes what the library makes";

        SF_INFO info{};
        SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.samplerate, c.rate);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | c.wavFormat);
        std::string data(bytes.size(), '\0'); // sf_read_raw wants whole frames
        EXPECT_EQ(sf_read_raw(f, data.data(), static_cast<sf_count_t>(data.size())),
                  static_cast<sf_count_t>(data.size()));
        sf_close(f);
        EXPECT_TRUE(data == bytes) << "the WAV file holds the raw pairs";
    }
}

TEST(SynthCli, BadValuesGiveOneLineAndStatusTwo) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-bad");
    const std::string goodFrame = dir + "/good.hex", shortFrame = dir + "/short.hex";
    nimbo::test::writeFile(goodFrame, std::string(640, 'a'));
    nimbo::test::writeFile(shortFrame, std::string(638, 'a')); // 319 bytes
    const std::vector<std::vector<std::string>> cases = {
        {}, // no output
        {"--frames", "0"},
        {"--frames", "100001"},
        {"--frames", "ten"},
        {"--serial", "123456789"},
        {"--other-serial", "ABCDEFGHI"},
        {"--first-frame", "65536"},
        {"--symbol-rate", "3999"},
        {"--symbol-rate", "5601"},
        {"--ebn0", "nan"},
        {"--deviation", "0"},
        {"--amplitude", "40000"},
        {"--lead-in", "-1"},
        {"--corrupt", "3"},
        {"--corrupt", "1:header"},
        {"--corrupt", "10:gps"}, // only 10 frames: 0..9
        {"--seed", "-4"},
        {"--bogus"},
        {"--iq", "s8"},
        {"--iq-rate", "96000"}, // without --iq
        {"--iq-offset", "100"},
        {"--iq", "u8", "--iq-rate", "47999"},
        {"--iq", "u8", "--iq-rate", "3200001"},
        {"--iq", "u8", "--iq-offset", "12001"}, // 19200 - 2400 - 4800 at 48000 samples/s
        {"--iq", "s16", "--iq-rate", "240000", "--iq-offset", "-88801"},
        {"--iq", "u8", "--iq-offset", "-12000", "--carrier-offset", "-1"}, // they add up
        {"--iq", "u8", "--iq-rate", "96000", "--deviation", "6000", "--symbol-rate", "5600",
         "--iq-offset", "26801"}, // 38400 - 11600
        {"--iq", "f32", "--iq-level", "0"},
        {"--iq", "f32", "--iq-level", "1.5"},
        {"--iq", "u8", "--if"},
        {"--iq", "u8", "--right"},
        {"--iq", "u8", "--audio-noise"},
        {"--iq", "u8", "--amplitude", "8000"},
        {"--iq", "u8", "--other-serial", "X1"},
        {"--sonde", "rs49"},
        {"--sonde", "rs41", "--serial", "S123456"}, // an RS41 serial has all 8
        {"--sonde", "rs41", "--serial", "S123456\x01"},
        {"--sonde", "rs41", "--corrupt", "1:gps"},
        {"--sonde", "rs41", "--humid-swap"},
        {"--sonde", "rs41", "--other-serial", ""},
        {"--sonde", "rs41", "--first-piece", "51"},
        {"--sonde", "rs41", "--site", "85.01,5"},
        {"--sonde", "rs41", "--site", "52,-180.5"},
        {"--sonde", "rs41", "--site", "52"},
        {"--sonde", "rs41", "--site", "52,5x"},
        {"--sonde", "rs41", "--site", "nan,5"},
        {"--sonde", "rs41", "--start", "1980-01-05T23:59:59Z"},
        {"--sonde", "rs41", "--start", "2024-02-30T00:00:00Z"},
        {"--sonde", "rs41", "--frame-file", "/nonexistent/frame.hex"},
        {"--sonde", "rs41", "--frame-file", shortFrame},
        {"--sonde", "rs41", "--frame-file", goodFrame, "--serial", "S7654321"},
        {"--sonde", "rs41", "--frame-file", goodFrame, "--site", "10,10"},
        {"--frame-file", goodFrame}, // needs --sonde rs41
        {"--site", "52,5"},
        {"--start", "2024-05-01T11:00:00Z"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {kSynthExe};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!args.empty()) argv.insert(argv.end(), {"-o", "-"});
        const auto run = nimbo::test::runTool(argv);
        std::string what = args.empty() ? "(none)" : "";
        for (const std::string& arg : args)
            what += arg + " ";
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.out.empty()) << what;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
    }
    const auto help = nimbo::test::runTool({kSynthExe, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Eb/N0"), std::string::npos);
    EXPECT_NE(help.out.find("--iq-rate"), std::string::npos);
    EXPECT_NE(help.out.find("--sonde"), std::string::npos);
}

// Adding the RS41 left the RS92 signals as they were: FNV-1a 64 of the raw output as the
// program wrote it before.
TEST(SynthCli, Rs92OutputAsBefore) {
    const struct {
        std::vector<std::string> args;
        std::size_t bytes;
        uint64_t hash;
    } cases[] = {
        {{"-n", "2", "--if", "--ebn0", "10", "--right", "--seed", "5"},
         384000,
         0x1a19d1db32af4ccfull},
        {{"-n", "2", "--ebn0", "12", "--flight"}, 384000, 0x78fb001c94e821f9ull},
        {{"-n", "1", "--iq", "u8", "--iq-rate", "240000", "--iq-offset", "30000", "--ebn0", "9"},
         480000,
         0x6d209bccd667f1beull},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {nimbo::test::kSynthExe};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"-o", "-"});
        const auto run = nimbo::test::runTool(argv);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_EQ(run.out.size(), c.bytes) << c.args[2];
        uint64_t h = 0xcbf29ce484222325ull;
        for (const char b : run.out)
            h = (h ^ static_cast<uint8_t>(b)) * 0x100000001b3ull;
        EXPECT_EQ(h, c.hash) << c.args[2];
    }
}

} // namespace
} // namespace nimbo::synth
