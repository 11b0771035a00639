// SPDX-License-Identifier: GPL-3.0-or-later
// Reed-Solomon (234, 210): parity checked with a separate bitwise field multiply, correction
// up to the limit, refusal beyond it, and the sent-frame mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <vector>

#include "decode/reed_solomon.h"

namespace nimbo::rs {
namespace {

// Shift-and-add multiply modulo x^8 + x^4 + x^3 + x^2 + 1, no tables.
uint8_t slowMul(uint8_t a, uint8_t b) {
    unsigned p = 0, x = a;
    for (; b; b >>= 1, x = (x << 1) ^ ((x & 0x80) ? 0x11D : 0))
        if (b & 1) p ^= x;
    return static_cast<uint8_t>(p);
}

uint8_t slowAlpha(int i) {
    uint8_t v = 1;
    while (i-- > 0)
        v = slowMul(v, 2);
    return v;
}

using Word = std::array<uint8_t, kCodeLength>;

Word encodedWord(std::mt19937& rng) {
    Word c{};
    for (int i = kParityBytes; i < kCodeLength; ++i)
        c[i] = static_cast<uint8_t>(rng());
    encode(std::span(c).subspan<kParityBytes>(), std::span(c).first<kParityBytes>());
    return c;
}

TEST(ReedSolomon, ParityMakesAlpha0To23RootsOfTheCodeword) {
    std::mt19937 rng(7);
    const Word c = encodedWord(rng);
    for (int j = 0; j <= kParityBytes; ++j) {
        uint8_t v = 0; // c(alpha^j) by Horner
        for (int i = kCodeLength - 1; i >= 0; --i)
            v = static_cast<uint8_t>(slowMul(v, slowAlpha(j)) ^ c[i]);
        if (j < kParityBytes)
            EXPECT_EQ(v, 0) << "alpha^" << j;
        else
            EXPECT_NE(v, 0) << "alpha^24 is no root"; // the roots are exactly 0..23
    }

    // Data x^24 alone: the parity is x^24 mod g(x) = g(x) - x^24, g = prod (x + alpha^i).
    std::array<uint8_t, kParityBytes + 1> g{1};
    for (int r = 0; r < kParityBytes; ++r)
        for (int k = r + 1; k >= 0; --k)
            g[k] = static_cast<uint8_t>((k ? g[k - 1] : 0) ^ slowMul(g[k], slowAlpha(r)));
    std::array<uint8_t, kDataBytes> data{1};
    std::array<uint8_t, kParityBytes> parity{};
    encode(data, parity);
    EXPECT_TRUE(std::equal(parity.begin(), parity.end(), g.begin()));
    EXPECT_EQ(parity[0], 0x75); // alpha^(0+1+...+23) = alpha^276 = alpha^21, by hand
}

// Damages e bytes with nonzero errors and marks f other positions (half of them also
// damaged) as erased; returns the number of bytes damaged.
int damage(Word& c, int e, int f, std::mt19937& rng, std::vector<int>& erasures) {
    std::vector<int> order(kCodeLength);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    int damaged = 0;
    for (int k = 0; k < e + f; ++k) {
        const bool erased = k >= e;
        if (erased) erasures.push_back(order[k]);
        if (!erased || k % 2 == 0) {
            c[order[k]] ^= static_cast<uint8_t>(1 + rng() % 255);
            ++damaged;
        }
    }
    return damaged;
}

TEST(ReedSolomon, CorrectsUpToTwoEPlusFOf24AndRefusesBeyond) {
    const struct {
        int e, f;
        bool correctable;
    } cases[] = {{0, 0, true},   {1, 0, true},   {12, 0, true},  {0, 24, true},  {6, 12, true},
                 {11, 2, true},  {1, 22, true},  {13, 0, false}, {12, 1, false}, {7, 11, false},
                 {20, 0, false}, {0, 25, false}, {5, 15, false}};
    std::mt19937 rng(12);
    for (const auto& k : cases) {
        for (int trial = 0; trial < 20; ++trial) {
            SCOPED_TRACE(testing::Message() << k.e << " errors, " << k.f << " erasures");
            const Word sent = encodedWord(rng);
            Word c = sent;
            std::vector<int> erasures;
            const int damaged = damage(c, k.e, k.f, rng, erasures);
            const Word received = c;
            const int result = decode(c, erasures);
            if (k.correctable) {
                ASSERT_EQ(result, damaged);
                ASSERT_EQ(c, sent);
            } else {
                ASSERT_EQ(result, kFailed);
                ASSERT_EQ(c, received); // untouched on failure
            }
        }
    }
    // Positions outside the codeword are refused, repeats count once.
    std::mt19937 rng2(3);
    Word c = encodedWord(rng2);
    c[233] ^= 1;
    for (const std::vector<int>& bad : {std::vector<int>{234}, std::vector<int>{-1, 5}})
        EXPECT_EQ(decode(c, bad), kFailed);
    EXPECT_EQ(decode(c, std::vector<int>(30, 233)), 1);

    // The syndromes of two errors at places 240 and 250 of the full code, beyond the 234 the
    // shortened code has: the root search stops at 233 and refuses, writing nothing.
    std::vector<uint8_t> full(kMaxCodeLength, 0);
    full[240] = 0x5A;
    full[250] = 0xC3;
    ASSERT_TRUE(encodeShortened(std::span(full).subspan(kParityBytes),
                                std::span(full).first<kParityBytes>()));
    std::vector<uint8_t> cut(full.begin(), full.begin() + kCodeLength); // exactly 234 bytes
    const std::vector<uint8_t> received = cut;
    EXPECT_EQ(decodeShortened(cut), kFailed);
    EXPECT_EQ(cut, received);
}

// Beyond 12 errors the decoder must refuse, not "correct" to another codeword. A miscorrection
// is possible in principle (a damaged word within 12 bytes of another codeword: about 5e-10
// per pattern), so 20,000 patterns are expected to show none.
TEST(ReedSolomon, RandomPatternsBeyondTheLimitAreNeverMiscorrected) {
    std::mt19937 rng(2024);
    int miscorrected = 0, refused = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const Word sent = encodedWord(rng);
        Word c = sent;
        std::vector<int> none;
        damage(c, 13 + static_cast<int>(rng() % 40), 0, rng, none);
        if (decode(c) == kFailed)
            ++refused;
        else
            ++miscorrected;
    }
    EXPECT_EQ(miscorrected, 0);
    EXPECT_EQ(refused, 20000);
}

TEST(ReedSolomon, SentFrameMapsToTheCodewordAndToCollectedFrames) {
    const struct {
        int sent, position, constant; // constant: the byte every frame holds there, or -1
    } cases[] = {{-1, -1, -1},     {0, -1, 0x2A},    {5, -1, 0x10}, {6, 24, -1},   {195, 213, -1},
                 {196, 214, 0x68}, {215, 233, 0x00}, {216, 0, -1},  {239, 23, -1}, {240, -1, -1}};
    for (const auto& k : cases) {
        EXPECT_EQ(codewordPosition(k.sent), k.position) << "sent byte " << k.sent;
        EXPECT_EQ(sent::constantByte(k.sent), k.constant) << "sent byte " << k.sent;
    }

    std::array<uint8_t, kFrameBytes> frame{}, next{};
    for (int i = 0; i < kFrameBytes; ++i) {
        frame[i] = static_cast<uint8_t>(i);
        next[i] = static_cast<uint8_t>(100 + i);
    }
    std::array<uint8_t, kSentFrameBytes> sent{}, back{};
    sentFromContent(frame, next, sent);
    EXPECT_EQ(sent[0], 24); // content byte 24 starts the sent frame
    EXPECT_EQ(sent[195], 219);
    EXPECT_EQ(sent[196], 0x68); // the 20-byte header is the sent frame's tail
    EXPECT_EQ(sent[215], 0x00);
    EXPECT_EQ(sent[216], 100); // parity: content bytes 0..23 of the next frame
    EXPECT_EQ(sent[239], 123);
    Word c{};
    codewordFromSent(sent, c);
    EXPECT_EQ(c[0], 100);
    EXPECT_EQ(c[24], 30); // sent byte 6 = content byte 30
    sentFromCodeword(c, back);
    std::copy(kSync.begin(), kSync.end(), sent.begin()); // the sync is not in the codeword
    EXPECT_EQ(back, sent);
}

} // namespace
} // namespace nimbo::rs
