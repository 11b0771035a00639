// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 frame correction: errors and erasures up to the limit, erasures from soft decisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "rs41/rs41_frame.h"
#include "rs41/soft_decode.h"
#include "tests/rs41_test_frames.h"

namespace nimbo::rs41 {
namespace {
using test::Bytes;
using test::longFrame;
using test::real;

// Frame bytes of codeword k, written out from the layout: parity 8 + 24k .. 31 + 24k, then
// every other byte from 56 + k.
std::vector<int> bytesOfCodeword(int k, int frameBytes) {
    std::vector<int> b;
    for (int i = 0; i < 24; ++i)
        b.push_back(8 + 24 * k + i);
    for (int i = 56 + k; i < frameBytes; i += 2)
        b.push_back(i);
    return b;
}

// Errors and erasures spread over both codewords of a 320 and a 518 frame: corrected up to
// 2e + f <= 24 per codeword, refused beyond with the frame untouched.
TEST(Rs41Frame, CorrectsErrorsAndErasuresUpToTheLimit) {
    const struct {
        int frameBytes;
        int e0, f0, e1, f1; // errors and erasures (every other one also damaged) per codeword
        int badErasures;    // erasures named on clean bytes of codeword 0
        bool correctable;
        bool allErasedSpoilt = false; // beyond errors alone: only erasures put them right
    } cases[] = {
        {320, 0, 0, 0, 0, 0, true},
        {320, 12, 0, 12, 0, 0, true},
        {320, 0, 24, 0, 24, 0, true},
        {320, 6, 12, 11, 2, 0, true},
        {320, 13, 0, 0, 0, 0, false},
        {320, 0, 0, 8, 11, 0, false},
        // Erasures named on clean bytes: within the limit, or beyond it and errors alone.
        {320, 7, 0, 0, 0, 10, true},
        {320, 8, 0, 0, 0, 9, true},
        {320, 3, 0, 3, 0, 30, true},
        {518, 12, 0, 12, 0, 0, true},
        {518, 5, 14, 12, 0, 0, true},
        {518, 0, 0, 13, 0, 0, false},
        {320, 0, 24, 0, 24, 0, true, true},
        {320, 1, 22, 0, 0, 0, true, true},
        {320, 1, 23, 0, 0, 0, false, true},
    };
    std::mt19937 rng(41);
    for (const auto& c : cases) {
        for (int trial = 0; trial < 10; ++trial) {
            SCOPED_TRACE(testing::Message() << c.frameBytes << ": " << c.e0 << "e+" << c.f0 << "f, "
                                            << c.e1 << "e+" << c.f1 << "f, bad " << c.badErasures);
            const Bytes sent = c.frameBytes == 320 ? real() : longFrame(Bytes(40, 0x33));
            Bytes f = sent;
            std::vector<int> erasures;
            int damaged = 0;
            const int e[2] = {c.e0, c.e1}, fe[2] = {c.f0, c.f1};
            for (int k = 0; k < 2; ++k) {
                std::vector<int> places = bytesOfCodeword(k, c.frameBytes);
                std::shuffle(places.begin(), places.end(), rng);
                for (int i = 0; i < e[k] + fe[k] + (k == 0 ? c.badErasures : 0); ++i) {
                    const bool erased = i >= e[k];
                    const bool spoilt =
                        !erased || (i < e[k] + fe[k] && (c.allErasedSpoilt || i % 2 == 0));
                    if (erased) erasures.push_back(places[i]);
                    if (spoilt) {
                        f[places[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
                        ++damaged;
                    }
                }
            }
            erasures.insert(erasures.begin(), 30, erasures.empty() ? 8 : erasures[0]); // repeats
            erasures.push_back(3);   // the header: not covered, ignored
            erasures.push_back(900); // past the frame: ignored
            const Bytes received = f;
            const Correction r = correctFrame(f, erasures);
            if (c.correctable) {
                ASSERT_EQ(r.corrected, damaged);
                ASSERT_EQ(f, sent);
            } else {
                ASSERT_EQ(r.corrected, rs::kFailed);
                ASSERT_EQ(f, received);
            }
        }
    }
}

TEST(Rs41Frame, TwoByteErrorsInTheParityAreCorrected) {
    Bytes f = real();
    f[10] ^= 0xFF;
    f[40] ^= 0x01;
    Rs41Frame d;
    ASSERT_TRUE(decodeFrame(f, {}, d));
    EXPECT_EQ(d.correction.corrected, 2);
    EXPECT_EQ(d.correction.perCodeword[0], 1);
    EXPECT_EQ(d.correction.perCodeword[1], 1);
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.begin() + 320, real().begin()));
}

// Beyond 12 errors a codeword needs erasures, taken from the bytes the receiver was least sure
// of: up to 20 per codeword, so 20 erased and 2 more errors at most.
TEST(Rs41Frame, SoftDecodingErasesTheLeastReliableBytes) {
    const float nan = std::nanf("");
    const struct {
        const char* name;
        bool longFrame;
        int first, e0, e1; // damaged bytes first, first + 2, ... of codeword 0, then 1
        float unsure;      // their reliability; every other byte's is 1
        int reliabilities; // bytes with a reliability given
        int corrected;     // or rs::kFailed
    } cases[] = {
        {"errors alone", false, 100, 12, 0, 1.0f, 320, 12},
        {"16 unsure", false, 100, 16, 0, 0.1f, 320, 16},
        {"22 unsure: 20 erased, 2 errors", false, 100, 22, 0, 0.1f, 320, 22},
        {"23 unsure", false, 100, 23, 0, 0.1f, 320, rs::kFailed},
        {"14 and 14 unsure", false, 100, 14, 14, -3.0f, 320, 28},
        {"16 not a NaN", false, 100, 16, 0, nan, 320, 16},
        {"16 but no byte less sure", false, 100, 16, 0, 1.0f, 320, rs::kFailed},
        {"16 past the reliabilities", false, 150, 16, 0, 0.1f, 100, rs::kFailed},
        {"long, 18 unsure in its tail", true, 400, 0, 18, 0.1f, 518, 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes sent = c.longFrame ? longFrame(Bytes(40, 0x5C)) : real();
        Bytes f = sent;
        std::vector<float> reliability(static_cast<std::size_t>(c.reliabilities), 1.0f);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < (k ? c.e1 : c.e0); ++i) {
                const int b = (c.first & ~1) + k + 2 * i;
                f[b] ^= 0xC3;
                if (b < c.reliabilities) reliability[b] = c.unsure;
            }
        Rs41Frame d;
        EXPECT_EQ(decodeFrameSoft(f, reliability, d), c.corrected != rs::kFailed);
        EXPECT_EQ(d.correction.corrected, c.corrected);
        const Bytes& expected = c.corrected == rs::kFailed ? f : sent;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d.bytes.begin()));
    }
}

} // namespace
} // namespace nimbo::rs41
