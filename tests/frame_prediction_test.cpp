// SPDX-License-Identifier: GPL-3.0-or-later
// What earlier frames teach the frame repair: the bytes it expects and the frames it puts
// right with them, never turning a frame of another sonde into a wrong good one.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "decode/frame_repair.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

using SentFrame = std::array<uint8_t, sent::kFrameBytes>;
using Expected = std::array<int16_t, sent::kFrameBytes>;

// Sent places of the frame number, the serial, the piece index and the piece.
constexpr int kNumber = 8, kSerial = 12, kIndex = 23, kPiece = 24;

SentFrame sentFrame(const synth::SynthOptions& o, int n) {
    SentFrame s{};
    rs::sentFromContent(synth::buildFrame(o, n), synth::buildFrame(o, n + 1), s);
    return s;
}

struct CountCase {
    const char* name;
    int learned;      // frames 0..learned-1 learned
    int elapsed;      // predicted frame: learned - 1 + elapsed
    bool numberKnown; // the frame number is expected
    bool indexKnown;  // the piece index is expected
    bool pieceKnown;  // the piece is expected (seen 32 frames before)
    bool serialKnown;
};

class PredictionCount : public ::testing::TestWithParam<CountCase> {};

// Pieces 29, 30, 31, 0, ...: the index wraps at 32 with the frame count.
TEST_P(PredictionCount, FollowsTheFrameCount) {
    const CountCase& c = GetParam();
    synth::SynthOptions o;
    o.firstFrameNumber = 65530; // and the frame number wraps at 65536
    o.firstCalIndex = 29;
    FramePrediction p;
    for (int n = 0; n < c.learned; ++n)
        p.learn(sentFrame(o, n));
    Expected e{};
    p.predict(c.elapsed, e);
    const int n = c.learned - 1 + (c.elapsed == FramePrediction::kUnknown ? 1 : c.elapsed);
    const SentFrame truth = sentFrame(o, n);
    const auto known = [&](int first, int count) {
        bool all = true;
        for (int b = first; b < first + count; ++b) {
            if (e[b] != FramePrediction::kNone) {
                EXPECT_EQ(e[b], truth[b]) << "place " << b;
            }
            all = all && e[b] != FramePrediction::kNone;
        }
        return all;
    };
    EXPECT_EQ(known(kNumber, 2), c.numberKnown);
    EXPECT_EQ(known(kIndex, 1), c.indexKnown);
    EXPECT_EQ(known(kPiece, 16), c.pieceKnown);
    EXPECT_EQ(known(kSerial, 8), c.serialKnown);
    // Never the sync, the tail, the parity or a CRC (sonde block CRC at sent 40..41).
    for (const int b : {0, 5, 40, 41, 68, 69, 194, 195, 196, 215, 216, 239})
        EXPECT_EQ(e[b], FramePrediction::kNone) << "place " << b;
}

constexpr int kUnknown = FramePrediction::kUnknown;
INSTANTIATE_TEST_SUITE_P(
    Table, PredictionCount,
    ::testing::Values(CountCase{"OneFrame", 1, 1, true, false, false, false},
                      CountCase{"TwoFrames", 2, 1, true, true, false, false},
                      CountCase{"ThreeFramesIndexWraps", 3, 1, true, true, false, true},
                      CountCase{"GapOfFive", 3, 5, true, true, false, true},
                      CountCase{"FrameBefore", 3, -1, true, true, true, true},
                      CountCase{"CountUnknown", 3, kUnknown, false, false, false, true},
                      CountCase{"PieceNotYetSeen", 20, 1, true, true, false, true},
                      CountCase{"PieceSeenARoundBefore", 20, 13, true, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Another serial is another sonde: nothing learned before it is expected any more.
TEST(FramePrediction, ANewSerialStartsOver) {
    synth::SynthOptions a, b;
    b.serial = "X9876543";
    FramePrediction p;
    for (int n = 0; n < 5; ++n)
        p.learn(sentFrame(a, n));
    p.learn(sentFrame(b, 5));
    Expected e{};
    p.predict(1, e);
    EXPECT_EQ(e[kSerial], FramePrediction::kNone);
    EXPECT_EQ(e[kIndex], FramePrediction::kNone); // one frame shows no step yet
}

// A byte that changed once is not expected to stay, even after a few frames alike.
TEST(FramePrediction, AByteThatChangedIsNotExpected) {
    synth::SynthOptions o;
    FramePrediction p;
    for (int n = 0; n < 8; ++n) {
        SentFrame s = sentFrame(o, n);
        s[100] = n < 2 ? 7 : 9;
        p.learn(s);
    }
    Expected e{};
    p.predict(1, e);
    EXPECT_EQ(e[100], FramePrediction::kNone);
    EXPECT_EQ(e[kSerial], sentFrame(o, 8)[kSerial]); // the serial never changed
}

// The repair, after `learned` clean frames, of frame `learned` of sonde `serial`, damaged at
// `onExpected` expected places and `elsewhere` other data places.
struct RepairCase {
    const char* name;
    const char* serial; // of the damaged frame
    int onExpected;
    int elsewhere;
    bool repaired;
};

class PredictionRepair : public ::testing::TestWithParam<RepairCase> {};

TEST_P(PredictionRepair, RepairsWhatTheCodeAloneCannotAndNothingFalse) {
    const RepairCase& c = GetParam();
    constexpr int kLearned = 40;
    synth::SynthOptions o, heardOptions;
    heardOptions.serial = c.serial;
    std::array<float, sent::kFrameBytes> reliability{};
    reliability.fill(5.0f);
    std::array<uint8_t, kFrameBytes> content{};
    FrameRepair repair;
    for (int n = 0; n < kLearned; ++n)
        ASSERT_EQ(repair.repair(std::span(content).first<24>(), sentFrame(o, n), reliability, n > 0,
                                content),
                  0);

    Expected e{};
    repair.prediction().predict(1, e);
    const SentFrame truth = sentFrame(heardOptions, kLearned);
    SentFrame heard = truth;
    // Every other expected byte, so that most of each group is heard as expected.
    int onExpected = 0, elsewhere = 0, seen = 0;
    for (int b = sent::kSyncBytes; b < sent::kTailStart; ++b) {
        if (e[b] != FramePrediction::kNone) {
            if (seen++ % 2 == 0 && onExpected < c.onExpected) {
                heard[b] ^= 0x5A;
                ++onExpected;
            }
        } else if (e[b] == FramePrediction::kNone && b % 5 == 0 && elsewhere < c.elsewhere) {
            heard[b] ^= 0xA5;
            ++elsewhere;
        }
    }
    ASSERT_EQ(onExpected, c.onExpected);
    ASSERT_EQ(elsewhere, c.elsewhere);

    const int changed =
        repair.repair(std::span(content).first<24>(), heard, reliability, true, content);
    const auto sentContent = synth::buildFrame(heardOptions, kLearned);
    if (c.repaired) {
        EXPECT_EQ(changed, c.onExpected + c.elsewhere);
        EXPECT_TRUE(std::equal(sentContent.begin() + 24, sentContent.end(), content.begin() + 24));
    } else {
        EXPECT_EQ(changed, rs::kFailed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PredictionRepair,
    ::testing::Values(
        // Past the code alone (2e <= 24), put right by the bytes expected.
        RepairCase{"TwentyErrors", "N1234567", 14, 6, true},
        RepairCase{"ThirtyErrors", "N1234567", 20, 10, true},
        RepairCase{"TooManyElsewhere", "N1234567", 10, 13, false},
        // Another sonde: its serial disagrees with every expected serial byte. Within the
        // code's reach it comes out as sent; beyond, it fails and is never the old sonde's.
        RepairCase{"OtherSondeFewErrors", "X9876543", 0, 4, true},
        RepairCase{"OtherSondeTwelveErrors", "X9876543", 0, 12, true},
        RepairCase{"OtherSondeThirteenErrors", "X9876543", 0, 13, false},
        // Its readings, pieces and GPS bytes differ too: nothing expected helps it.
        RepairCase{"OtherSondeErrorsOnExpected", "X9876543", 10, 3, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A repair that has heard frames 0..kLearned - 1 of the default sonde whole, and what it was
// given.
constexpr int kLearned = 40;
struct LearnedRepair {
    synth::SynthOptions o;
    std::array<float, sent::kFrameBytes> reliability{};
    std::array<uint8_t, kFrameBytes> content{};
    FrameRepair repair;
    LearnedRepair() {
        reliability.fill(5.0f);
        for (int n = 0; n < kLearned; ++n)
            repair.repair(std::span(content).first<24>(), sentFrame(o, n), reliability, n > 0,
                          content);
    }
};

// A frame that failed is tried again when the next one is known: its frame number, piece
// index and piece then come from the frame after it, and its parity reaches the next frame's
// content whole.
TEST(PredictionRepair, TheParityOfAFailedFrameComesRightWithTheNextFrame) {
    LearnedRepair learned;
    auto& [o, reliability, content, repair] = learned;

    // Frame kLearned + 1 after a lost frame: its count is unknown, and 9 errors on the frame
    // number and the piece, and 6 in the parity, are beyond the code.
    SentFrame heard = sentFrame(o, kLearned + 1);
    for (int b = sent::kParityStart; b < sent::kParityStart + 6; ++b)
        heard[b] ^= 0x33;
    heard[kNumber] ^= 0x33;
    for (int b = kPiece; b < kPiece + 16; b += 2)
        heard[b] ^= 0x33;
    EXPECT_EQ(repair.repair(std::span(content).first<24>(), heard, reliability, false, content),
              rs::kFailed);
    EXPECT_EQ(repair.repair(std::span(content).first<24>(), sentFrame(o, kLearned + 2), reliability,
                            true, content),
              0);
    EXPECT_EQ(content, synth::buildFrame(o, kLearned + 2));
}

// The search on bits takes the expected bytes as sure. Bytes heard otherwise than expected are
// put right before it, and their 192 bits, however doubtful as heard, must not crowd the 20
// wrong bits elsewhere out of the 192 it solves for.
TEST(PredictionRepair, TheBitSearchTakesTheExpectedBytesAsSure) {
    LearnedRepair learned;
    auto& [o, reliability, content, repair] = learned;

    Expected e{};
    repair.prediction().predict(1, e);
    SentFrame heard = sentFrame(o, kLearned);
    std::array<float, sent::kFrameDataBits> bits{};
    bits.fill(3.0f);
    int put = 0, wrong = 0;
    for (int b = sent::kSyncBytes; b < sent::kTailStart; ++b) {
        if (e[b] != FramePrediction::kNone && b % 2 == 0 && put < 24) {
            heard[b] ^= 0xFF; // every bit wrong, every one of them doubtful
            std::fill_n(bits.begin() + 8 * b, 8, 0.1f);
            ++put;
        } else if (e[b] == FramePrediction::kNone && b % 3 == 0 && wrong < 20) {
            heard[b] ^= 0x04;
            bits[8 * b + 2] = 0.5f;
            ++wrong;
        }
    }
    ASSERT_EQ(put, 24);
    ASSERT_EQ(wrong, 20);
    EXPECT_EQ(repair.repair(std::span(content).first<24>(), heard, heard, reliability, bits, true,
                            content),
              44);
    const auto sentContent = synth::buildFrame(o, kLearned);
    EXPECT_TRUE(std::equal(sentContent.begin() + 24, sentContent.end(), content.begin() + 24));
}

// A frame beyond the bytes, the bits and the prediction (its count unknown after a lost frame,
// its frame number and piece wrong in sure bits, 30 doubtful wrong bits elsewhere, parity
// among them) is tried again, with its bits, once the next frame gives its count: the next
// frame's content then starts with its parity as sent.
TEST(PredictionRepair, AFailedFrameIsTriedAgainWithItsBits) {
    LearnedRepair learned;
    auto& [o, reliability, content, repair] = learned;

    SentFrame heard = sentFrame(o, kLearned + 1);
    std::array<float, sent::kFrameDataBits> bits{};
    bits.fill(3.0f);
    heard[kNumber] ^= 0x33;
    for (int b = kPiece; b < kPiece + 16; b += 2)
        heard[b] ^= 0x33;
    for (int k = 0; k < 30; ++k) {
        const int b = k < 6 ? sent::kParityStart + 4 * k : 100 + 3 * k;
        heard[b] ^= 0x10;
        bits[8 * b + 4] = 0.5f;
    }
    EXPECT_EQ(repair.repair(std::span(content).first<24>(), heard, heard, reliability, bits, false,
                            content),
              rs::kFailed);
    EXPECT_EQ(repair.repair(std::span(content).first<24>(), sentFrame(o, kLearned + 2), reliability,
                            true, content),
              0);
    EXPECT_EQ(content, synth::buildFrame(o, kLearned + 2));
}

} // namespace
} // namespace nimbo
