// SPDX-License-Identifier: GPL-3.0-or-later
// The search on bits: which wrong bits it reaches by their ranks among the least sure, what
// its candidates are, and the frame repair that falls back on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decode/frame_repair.h"
#include "decode/ordered_statistics.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

using rs::OrderedStatistics;
using Word = std::array<uint8_t, rs::kCodeLength>;
using BitRanks = std::array<float, OrderedStatistics::kBits>;
constexpr float kKnown = std::numeric_limits<float>::infinity();

Word encodedWord(std::mt19937& rng) {
    Word c{};
    for (int i = rs::kParityBytes; i < rs::kCodeLength; ++i)
        c[i] = static_cast<uint8_t>(rng());
    rs::encode(std::span(c).subspan<rs::kParityBytes>(), std::span(c).first<rs::kParityBytes>());
    return c;
}

void flip(Word& w, int bit) {
    w[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
}

// Bits in a random order; the bit at rank r gets reliability r, so ranks say exactly which bits
// are the least sure.
struct Ranked {
    std::vector<int> bitAt; // rank -> bit
    BitRanks reliability{};
    explicit Ranked(std::mt19937& rng) : bitAt(OrderedStatistics::kBits) {
        std::iota(bitAt.begin(), bitAt.end(), 0);
        std::shuffle(bitAt.begin(), bitAt.end(), rng);
        for (int r = 0; r < OrderedStatistics::kBits; ++r)
            reliability[bitAt[r]] = static_cast<float>(r);
    }
};

struct RankCase {
    const char* name;
    int solvedWrong;         // wrong bits among the 192 least sure, in different bytes
    std::vector<int> beyond; // ranks of wrong bits after them
    bool found;
    int unknown = OrderedStatistics::kBits; // bits from this rank on are given as known
};

class BitSearch : public ::testing::TestWithParam<RankCase> {};

TEST_P(BitSearch, FindsTheWrongBitsWithinItsReach) {
    const RankCase& c = GetParam();
    std::mt19937 rng(11);
    for (int trial = 0; trial < 4; ++trial) {
        const Word sent = encodedWord(rng);
        Ranked ranked(rng);
        for (int r = c.unknown; r < OrderedStatistics::kBits; ++r)
            ranked.reliability[ranked.bitAt[r]] = kKnown;
        Word heard = sent;
        std::vector<bool> byteHit(rs::kCodeLength);
        for (int r = 0, wrong = 0; wrong < c.solvedWrong; ++r) {
            const int bit = ranked.bitAt[r];
            if (byteHit[bit / 8]) continue;
            byteHit[bit / 8] = true;
            flip(heard, bit);
            ++wrong;
        }
        for (const int r : c.beyond)
            flip(heard, ranked.bitAt[r]);
        OrderedStatistics search;
        Word word = heard;
        int notCodewords = 0, offered = 0, knownChanged = 0;
        const bool found = search.decode(word, ranked.reliability, [&](rs::ConstCodeword w) {
            if (offered++ < 1000) {
                notCodewords += !rs::isCodeword(w);
                for (int r = c.unknown; r < OrderedStatistics::kBits; ++r) {
                    const int bit = ranked.bitAt[r];
                    knownChanged += ((w[bit / 8] ^ heard[bit / 8]) >> (bit % 8)) & 1;
                }
            }
            return std::ranges::equal(w, sent);
        });
        EXPECT_EQ(notCodewords, 0) << "trial " << trial;
        EXPECT_EQ(knownChanged, 0) << "trial " << trial;
        EXPECT_EQ(found, c.found) << "trial " << trial;
        EXPECT_EQ(word, found ? sent : heard) << "trial " << trial;
        // The bytes alone cannot: more than 12 of them are wrong.
        if (c.solvedWrong > rs::kMaxErrors) {
            EXPECT_EQ(rs::decode(heard), rs::kFailed);
        }
    }
}

constexpr int kSolved = OrderedStatistics::kCheckBits;
constexpr int kSinglesEnd = kSolved + OrderedStatistics::kSingles;
constexpr int kPairsEnd = kSolved + OrderedStatistics::kPairBits;

INSTANTIATE_TEST_SUITE_P(
    Table, BitSearch,
    ::testing::Values(
        RankCase{"NoneWrong", 0, {}, true},
        RankCase{"SixtyBytesEachOneBitAmongTheLeastSure", 60, {}, true},
        RankCase{"AllOfTheLeastSureWrongInPlaces", 120, {}, true},
        RankCase{"OneJustAfterThem", 60, {200}, true},
        RankCase{"OneFarAfterThem", 60, {kSinglesEnd - 30}, true},
        RankCase{"OnePastTheSingles", 60, {kSinglesEnd + 50}, false},
        RankCase{"TwoJustAfterThem", 60, {196, 208}, true},
        RankCase{"TwoAtTheEndOfThePairs", 60, {kPairsEnd - 12, kPairsEnd - 10}, true},
        RankCase{"TwoOneOfThemPastThePairs", 60, {196, kPairsEnd + 20}, false},
        RankCase{"ThreeAfterThem", 60, {196, 200, 204}, false},
        // Fewer unknown bits than checks: the checks left over must hold too.
        RankCase{"FewUnknown", 40, {}, true, 100},
        RankCase{"FewUnknownAndAKnownBitWrong", 40, {150}, false, 100}),
    [](const auto& info) { return std::string(info.param.name); });

// Every candidate keeps the bits given as known; a bit whose reliability is
// not a number counts as the least sure; every candidate is offered when none is taken.
TEST(BitSearch, CandidatesAreCodewordsThatKeepTheKnownBits) {
    std::mt19937 rng(5);
    const Word sent = encodedWord(rng);
    Ranked ranked(rng);
    Word heard = sent;
    for (int r = 0; r < OrderedStatistics::kBits; r += 3)
        ranked.reliability[ranked.bitAt[r]] = kKnown;
    // The surest unknown bit is wrong but has no reliability: it is solved for.
    const int nan = ranked.bitAt[OrderedStatistics::kBits - 1];
    ranked.reliability[nan] = std::numeric_limits<float>::quiet_NaN();
    flip(heard, nan);

    OrderedStatistics search;
    Word word = heard;
    int offered = 0, wrongKnown = 0, asSent = 0;
    EXPECT_FALSE(search.decode(word, ranked.reliability, [&](rs::ConstCodeword w) {
        ++offered;
        asSent += std::ranges::equal(w, sent);
        for (int bit = 0; bit < OrderedStatistics::kBits; ++bit)
            wrongKnown += ranked.reliability[bit] == kKnown && ((w[bit / 8] ^ heard[bit / 8]) >> (bit % 8)) & 1;
        return false;
    }));
    EXPECT_EQ(word, heard);
    EXPECT_EQ(offered, 1 + OrderedStatistics::kSingles +
                           OrderedStatistics::kPairBits * (OrderedStatistics::kPairBits - 1) / 2);
    EXPECT_EQ(wrongKnown, 0);
    EXPECT_EQ(asSent, 1);
}

// The frame repair falls back on the bits: 40 wrong bits in as many bytes, all among the
// least sure bits while every byte looks alike, put right only when the bits' confidences are
// given; without them, or with the wrong bits the surest, the frame fails.
TEST(BitSearch, RepairsAFrameTheBytesCannot) {
    const synth::SynthOptions o;
    std::array<uint8_t, sent::kFrameBytes> truth{}, heard{};
    rs::sentFromContent(synth::buildFrame(o, 3), synth::buildFrame(o, 4), truth);
    std::array<float, sent::kFrameBytes> reliability{};
    reliability.fill(1.0f);
    std::array<float, sent::kFrameDataBits> bits{}, misleading{};
    bits.fill(3.0f);
    misleading.fill(1.0f);
    heard = truth;
    int wrong = 0;
    for (int b = sent::kSyncBytes; b < sent::kTailStart && wrong < 40; b += 4, ++wrong) {
        const int bit = (b * 3) % sent::kDataBitsPerByte;
        heard[b] ^= static_cast<uint8_t>(1u << bit);
        bits[b * sent::kDataBitsPerByte + bit] = 0.5f;
        misleading[b * sent::kDataBitsPerByte + bit] = 3.0f;
    }
    const auto sentContent = synth::buildFrame(o, 3);
    std::array<uint8_t, kFrameBytes> content{};
    const std::array<uint8_t, sent::kParityBytes> before{};
    EXPECT_EQ(FrameRepair().repair(before, heard, heard, reliability, false, content), rs::kFailed);
    EXPECT_EQ(FrameRepair().repair(before, heard, heard, reliability, misleading, false, content),
              rs::kFailed);
    EXPECT_EQ(FrameRepair().repair(before, heard, heard, reliability, bits, false, content), 40);
    EXPECT_TRUE(std::equal(sentContent.begin() + 24, sentContent.end(), content.begin() + 24));
}

} // namespace
} // namespace nimbo
