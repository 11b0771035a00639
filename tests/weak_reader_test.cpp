// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's frame reader, and the whole receiver after a reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/weak/frame_reader.h"
#include "dsp/weak/weak_receiver.h"
#include "tests/weak_soft_stream.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {
using namespace weak;
using namespace test;

// A byte's ten bits read back at the pairs' decisions; the reliability is e^(2 x) for the
// least sure bit's value x in units of the ring's level (a start or stop bit heard wrong
// counting as -x). The second choice flips the least sure data bit (the first of equals).
// Each data bit's confidence is its own value's size in units of the level.
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
        std::array<float, 8> bitSizes{};
        FrameReader::readByte(ring, row.polarity, 3, byte, second, reliability, bitSizes.data());
        for (int i = 0; i < 8; ++i)
            EXPECT_FLOAT_EQ(bitSizes[i], i + 1 == row.erasedBit ? 0.0f : row.size) << "bit " << i;
        EXPECT_EQ(byte, row.expect);
        EXPECT_EQ(second, row.second);
        EXPECT_NEAR(reliability, row.reliability, 1e-4 * row.reliability);
    }
}

// Each frame delivered as one row: the 24 bytes before it, its 240 bytes, their
// reliabilities, their bits' confidences, and whether it follows the one before (1 or 0).
struct Recorder final : SentFrameListener {
    bool sentFrame(sent::ParityBytes before, sent::SentBytes bytes, sent::SentBytes,
                   sent::Reliabilities reliability, sent::BitReliabilities bits,
                   bool follows) override {
        std::vector<float>& f = frames.emplace_back(before.begin(), before.end());
        f.insert(f.end(), bytes.begin(), bytes.end());
        f.insert(f.end(), reliability.begin(), reliability.end());
        f.insert(f.end(), bits.begin(), bits.end());
        f.push_back(follows ? 1.0f : 0.0f);
        return answer;
    }
    std::vector<std::vector<float>> frames;
    bool answer = true;
};

// The first half of a frame is read from its own sync, the second half back from the next
// one's: a frame whose second half came 20 symbols late reads whole, and so do the 24 bytes
// before it. Each byte comes at its own size, which its reliability and bits carry.
TEST(FrameReader, ReadsTheHalvesFromEitherSync) {
    std::mt19937 rng(21);
    std::array<uint8_t, kLeadParityBytes + kSentBytes> sent{};
    for (uint8_t& b : sent)
        b = static_cast<uint8_t>(rng());
    const auto sizeOf = [](int i) { return static_cast<float>(1 + i % 3); };
    std::vector<float> v(7, 0.0f);
    const auto push = [&](int i) {
        std::vector<int> bits;
        addByte(bits, sent[static_cast<std::size_t>(i)]);
        const std::size_t at = v.size();
        pushBits(v, bits);
        for (std::size_t k = at; k < v.size(); ++k)
            v[k] *= sizeOf(i);
    };
    for (int i = 0; i < kLeadParityBytes + kSentBytes / 2; ++i)
        push(i);
    v.resize(v.size() + 20, 0.0f);
    for (int i = kLeadParityBytes + kSentBytes / 2; i < kLeadParityBytes + kSentBytes; ++i)
        push(i);
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
        const float* reliability = f.data() + sent.size();
        const float* bitSizes = reliability + kSentBytes;
        for (int b = 0; b < kSentBytes; ++b) {
            const float size = sizeOf(kLeadParityBytes + b);
            EXPECT_NEAR(reliability[b], std::exp(2.0 * size), 1e-4 * std::exp(2.0 * size)) << b;
            for (int j = 0; j < 8; ++j)
                EXPECT_FLOAT_EQ(bitSizes[8 * b + j], size) << b << " bit " << j;
        }
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
