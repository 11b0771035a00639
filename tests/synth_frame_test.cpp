// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's RS92 frames: CRCs, fields, parity, sensor channels, flight, calibration.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decode/crc16.h"
#include "decode/reed_solomon.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {

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

} // namespace
} // namespace nimbo::synth
