// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 frames: fields, mask, codeword layout, block walk, length byte, frequency from cal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "rs41/rs41_frame.h"
#include "tests/rs41_test_frames.h"

namespace nimbo::rs41 {
namespace {
using test::Bytes;
using test::longFrame;
using test::putBlock;
using test::real;

// The real frame with calibration subframe `index` holding k0 and k1 at its bytes 2 and 3,
// sonde `serial`, CRC and parity made anew.
Bytes statusFrame(int index, uint8_t k0, uint8_t k1, const char* serial = "K1930293") {
    Bytes f = real();
    std::memcpy(&f[61], serial, 8);
    f[82] = static_cast<uint8_t>(index);
    f[85] = k0;
    f[86] = k1;
    putBlock(f, 57, 0x79, Bytes(f.begin() + 59, f.begin() + 99));
    EXPECT_TRUE(encodeFrame(f));
    return f;
}

TEST(Rs41Frame, RealFrameDecodesToEveryField) {
    const Bytes f = real();
    Rs41Frame d;
    ASSERT_TRUE(decodeFrame(f, {}, d));
    EXPECT_TRUE(d.rsOk && d.good && d.lengthFlagOk && d.walk.complete);
    EXPECT_EQ(d.frameBytes, 320);
    EXPECT_EQ(d.correction.corrected, 0);
    EXPECT_TRUE(framePassesCheck(f));

    EXPECT_EQ(d.frameNumber, 5910);
    EXPECT_STREQ(d.serial.data(), "K1930293");
    EXPECT_TRUE(d.hasCalibration);
    EXPECT_EQ(d.subframe, 44);
    const uint8_t cal44[16] = {0xe5, 0x3e, 0x31, 0x99, 0x1a, 0xbf, 0x12, 0xda,
                               0xda, 0x3e, 0xb6, 0x84, 0x68, 0xc1, 0x67, 0x55};
    EXPECT_TRUE(std::equal(d.calibration.begin(), d.calibration.end(), cal44));

    ASSERT_TRUE(d.hasTime);
    EXPECT_EQ(d.gpsWeek, 1800);
    EXPECT_EQ(d.timeOfWeekMs, 131874000u);
    EXPECT_STREQ(d.datetime.data(), "2014-07-07T12:37:38Z");
    EXPECT_EQ(d.utc.leapSeconds, 16);

    ASSERT_TRUE(d.hasPosition);
    EXPECT_NEAR(d.position.latitudeDeg, 46.05026, 5e-6);
    EXPECT_NEAR(d.position.longitudeDeg, 16.11077, 5e-6);
    EXPECT_NEAR(d.position.heightM, 28410.0, 0.05);
    EXPECT_NEAR(d.motion.up, -36.2, 0.05);
    // ENU worked out separately from the raw ECEF velocity (-20.80, -20.15, -25.59) m/s.
    EXPECT_NEAR(d.motion.horizontal, 13.602, 0.001);
    EXPECT_NEAR(d.motion.headingDeg, 272.749, 0.001);
    EXPECT_EQ(d.satellites, 8);
    EXPECT_FALSE(d.hasFrequency); // subframe 44, and no sonde state asked

    // Blocks, and the spans the caller turns into hex.
    const struct {
        uint8_t id;
        int length, data;
    } blocks[] = {{0x79, 40, 59},  {0x7A, 42, 103}, {0x7C, 30, 149},
                  {0x7D, 89, 183}, {0x7B, 21, 276}, {0x76, 17, 301}};
    ASSERT_EQ(d.walk.count, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d.walk.blocks[i].id, blocks[i].id);
        EXPECT_EQ(d.walk.blocks[i].length, blocks[i].length);
        EXPECT_EQ(d.walk.blocks[i].data, blocks[i].data);
        EXPECT_TRUE(d.walk.blocks[i].crcOk);
    }
    const Block* meas = findBlock(d, kMeasurementBlock);
    ASSERT_NE(meas, nullptr);
    const auto m = blockData(d, *meas);
    EXPECT_EQ(m.size(), 42u);
    EXPECT_EQ(m.front(), 0x15);
    EXPECT_EQ(m.back(), 0x00);
    EXPECT_EQ(findBlock(d, kXdataBlock), nullptr);
}

TEST(Rs41Frame, HeaderOnTheAirAndMaskRoundTrip) {
    const uint8_t onAir[8] = {0x10, 0xB6, 0xCA, 0x11, 0x22, 0x96, 0x12, 0xF8};
    EXPECT_TRUE(std::equal(kAirHeader.begin(), kAirHeader.end(), onAir));
    const Bytes clear = real();
    Bytes f = clear;
    applyMask(f);
    EXPECT_TRUE(std::equal(f.begin(), f.begin() + 8, onAir));
    EXPECT_EQ(f[64], clear[64] ^ 0x96); // the mask starts again at byte 64
    EXPECT_EQ(f[319], clear[319] ^ 0xC1);
    // The header bits in the order sent: 0x10 first, least significant bit first.
    EXPECT_EQ(kAirHeaderBits & 0xFF, 0x10u);
    EXPECT_EQ(kAirHeaderBits >> 56, 0xF8u);
    // Masking part of a frame from its own start place.
    Bytes tail(clear.begin() + 100, clear.end());
    applyMask(tail, 100);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), f.begin() + 100));
    applyMask(f);
    EXPECT_EQ(f, real());
}

TEST(Rs41Frame, CodewordLayoutAtHandPickedPlaces) {
    const struct {
        int frameBytes, b, codeword, position;
    } cases[] = {{320, 0, -1, -1},   {320, 7, -1, -1},   {320, 8, 0, 0},     {320, 31, 0, 23},
                 {320, 32, 1, 0},    {320, 55, 1, 23},   {320, 56, 0, 24},   {320, 57, 1, 24},
                 {320, 58, 0, 25},   {320, 318, 0, 155}, {320, 319, 1, 155}, {320, 320, -1, -1},
                 {518, 516, 0, 254}, {518, 517, 1, 254}, {518, 518, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "frame byte " << c.b << " of " << c.frameBytes);
        const CodewordPlace p = codewordPlace(c.b, c.frameBytes);
        EXPECT_EQ(p.codeword, c.codeword);
        if (c.codeword < 0) continue;
        EXPECT_EQ(p.position, c.position);
        EXPECT_EQ(frameByteOf(c.codeword, c.position, c.frameBytes), c.b);
    }
    EXPECT_EQ(codewordLength(320), 156);
    EXPECT_EQ(codewordLength(518), 255);
    EXPECT_EQ(frameByteOf(0, 156, 320), -1); // beyond the frame: the code's zero positions

    // Gathered from the real frame: parity first, then the interleaved data.
    Word w0{}, w1{};
    gatherCodeword(real(), 0, w0);
    gatherCodeword(real(), 1, w1);
    EXPECT_EQ(w0[0], 0x2C);
    EXPECT_EQ(w1[0], 0x1B);   // byte 32
    EXPECT_EQ(w0[24], 0x0F);  // the length byte
    EXPECT_EQ(w1[24], 0x79);  // the status block's ID
    EXPECT_EQ(w0[25], 0x28);  // its length, 40
    EXPECT_EQ(w1[155], 0xC7); // the last byte
    EXPECT_EQ(w0[156], 0x00); // never written
}

TEST(Rs41Frame, EncoderReproducesTheRealParity) {
    Bytes f = real();
    std::fill(f.begin() + 8, f.begin() + 56, 0);
    ASSERT_TRUE(encodeFrame(f));
    EXPECT_EQ(f, real());
    Bytes odd(400);
    EXPECT_FALSE(encodeFrame(odd));
}

TEST(Rs41Frame, BlockWalkFindsCrcFaultsAndOverruns) {
    const struct {
        int at;
        bool set; // the byte set to value, else XORed with it
        uint8_t value;
        int count;
        bool complete;
        int badBlock; // the block whose CRC fails, or -1
    } cases[] = {
        {-1, false, 0, 6, true, -1},    // as received
        {110, false, 0x01, 6, true, 1}, // a data bit of the measurement block
        {145, false, 0x01, 6, true, 1}, // its stored CRC, low byte (0x0d22 stored 22 0d)
        {146, true, 0x22, 6, true, 1},  // the CRC stored high byte first
        {300, true, 18, 5, false, -1},  // padding one byte too long: runs past the end
        {300, true, 16, 6, false, 5},   // one short: its CRC read from data, 2 bytes left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << c.at);
        Bytes f = real();
        if (c.at >= 0) f[c.at] = c.set ? c.value : f[c.at] ^ c.value;
        if (c.at == 146) f[145] = 0x0D;
        BlockWalk w;
        walkBlocks(f, w);
        EXPECT_EQ(w.count, c.count);
        EXPECT_EQ(w.complete, c.complete);
        for (int i = 0; i < w.count; ++i)
            EXPECT_EQ(w.blocks[i].crcOk, i != c.badBlock) << "block " << i;
        EXPECT_EQ(w.allCrcOk, c.complete && c.badBlock < 0);
    }
}

// A frame whose blocks fail after a correction is not good, and fields come only from the
// blocks that hold.
TEST(Rs41Frame, GoodNeedsTheCorrectionAndEveryCrc) {
    Bytes f = real();
    f[61] ^= 0x20; // serial 'K' -> 'k'
    putBlock(f, 57, 0x79, Bytes(f.begin() + 59, f.begin() + 99));
    f[150] ^= 0x01; // GPS week, with parity made over it: the CRC fails, the codewords hold
    ASSERT_TRUE(encodeFrame(f));
    Rs41Frame d;
    EXPECT_FALSE(decodeFrame(f, {}, d));
    EXPECT_TRUE(d.rsOk);
    EXPECT_EQ(d.correction.corrected, 0);
    EXPECT_STREQ(d.serial.data(), "k1930293");
    EXPECT_FALSE(d.hasTime);
    EXPECT_TRUE(d.hasPosition);

    // Beyond the code's reach: not good, bytes as they came, and nothing read from blocks
    // whose CRC fails.
    Bytes g = real();
    for (int i = 0; i < 14; ++i)
        g[60 + 2 * i] ^= 0x5A; // 14 errors in codeword 0
    EXPECT_FALSE(decodeFrame(g, {}, d));
    EXPECT_FALSE(d.rsOk);
    EXPECT_EQ(d.correction.corrected, rs::kFailed);
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.begin() + 320, g.begin()));
    EXPECT_FALSE(d.hasStatus);
    EXPECT_TRUE(d.hasPosition); // its block is intact
    EXPECT_EQ(d.frameBytes, 320);

    // Too few bytes for any frame.
    EXPECT_FALSE(decodeFrame(std::span(g).first(319), {}, d));
    EXPECT_EQ(d.frameBytes, 0);
}

TEST(Rs41Frame, LengthByteAndLongFrames) {
    const Bytes xdata = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                         0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A,
                         0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A,
                         0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A};
    const Bytes longSent = longFrame(xdata);
    Bytes shortGiven518 = real();
    shortGiven518.resize(518, 0x55); // a receiver that took 518 bytes of a short frame
    const struct {
        const char* name;
        bool longFrame;
        bool give518; // a short frame handed over with 198 more bytes
        uint8_t flag;
        int frameBytes, corrected;
        bool flagOk;
    } cases[] = {
        {"long", true, true, 0xF0, 518, 0, true},
        {"long, flag one bit off", true, true, 0xF1, 518, 1, false},
        {"long, flag 0x00 (a tie: 320 first)", true, true, 0x00, 518, 1, false},
        {"long, flag says short", true, true, 0x0F, 518, 1, false},
        {"short, flag one bit off", false, false, 0x0E, 320, 1, false},
        {"short, flag says long, 320 given", false, false, 0xF0, 320, 1, false},
        {"short, flag says long, 518 given", false, true, 0xF0, 320, 1, false},
        {"short, 518 given", false, true, 0x0F, 320, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = c.longFrame ? longSent : c.give518 ? shortGiven518 : real();
        f[56] = c.flag;
        Rs41Frame d;
        ASSERT_TRUE(decodeFrame(f, {}, d));
        EXPECT_EQ(d.frameBytes, c.frameBytes);
        EXPECT_EQ(d.correction.corrected, c.corrected);
        EXPECT_EQ(d.lengthFlagOk, c.flagOk);
        EXPECT_EQ(d.frameNumber, 5910);
        EXPECT_EQ(d.walk.count, c.longFrame ? 7 : 6);
    }

    // The long frame's XDATA, and its last bytes put right.
    Bytes f = longSent;
    f[516] ^= 0x10;
    f[517] ^= 0x20;
    Rs41Frame d;
    ASSERT_TRUE(decodeFrame(f, std::vector<int>{517}, d));
    EXPECT_EQ(d.correction.corrected, 2);
    const Block* x = findBlock(d, kXdataBlock);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->data, 301);
    const auto data = blockData(d, *x);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), xdata.begin(), xdata.end()));
    EXPECT_EQ(d.walk.blocks[6].id, 0x76);
    EXPECT_EQ(d.walk.blocks[6].length, 518 - 343 - 4);
}

TEST(Rs41Frame, FrequencyFromSubframeZeroIsKeptPerSonde) {
    const struct {
        uint8_t k0, k1;
        double mhz;
    } cases[] = {{0, 0, 400.0}, {0, 75, 403.0}, {128, 127, 405.1}, {64, 250, 410.01}};
    for (const auto& c : cases) {
        const uint8_t sub[16] = {0, 0, c.k0, c.k1};
        EXPECT_NEAR(frequencyFromSubframe0(std::span<const uint8_t, 16>(sub)), c.mhz, 1e-9);
    }

    Rs41Sonde sonde;
    const struct {
        Bytes frame;
        bool spoil; // beyond correction: the state must not learn from it
        bool known;
        double mhz;
    } steps[] = {
        {real(), false, false, 0.0},                             // subframe 44
        {statusFrame(0, 0, 75), true, false, 0.0},               // subframe 0, failed correction
        {statusFrame(0, 128, 127), false, true, 405.1},          // heard
        {real(), false, true, 405.1},                            // remembered
        {statusFrame(0, 0, 75, "K1930294"), true, false, 0.0},   // another sonde, failed
        {statusFrame(44, 0, 75, "K1930294"), false, false, 0.0}, // another sonde: forgotten
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        Bytes f = steps[i].frame;
        if (steps[i].spoil)
            for (int b = 200; b < 230; ++b)
                f[b] ^= 0xA5;
        Rs41Frame d;
        decodeFrame(f, {}, d);
        sonde.update(d);
        EXPECT_EQ(d.hasFrequency, steps[i].known);
        EXPECT_NEAR(d.frequencyMHz, steps[i].mhz, 1e-9);
    }
}

} // namespace
} // namespace nimbo::rs41
