// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol decisions, byte alignment, header search and frame collection from hand-built symbols.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/frame_sync.h"
#include "tests/manchester_symbols.h"

namespace nimbo {
namespace {
using namespace test;

uint8_t byteOf(const std::array<uint8_t, 8>& bits) {
    uint8_t v = 0;
    for (int k = 0; k < 8; ++k)
        v |= static_cast<uint8_t>((bits[k] & 1) << k);
    return v;
}

struct Harness {
    Recorder recorder;
    FrameSync sync{&recorder};
    Harness() { recorder.sync = &sync; }
    void feed(const Symbols& symbols) {
        for (int s : symbols) {
            sync.ProcessSymbol(s ? 1.0 : -1.0);
            ++recorder.symbolIndex;
        }
    }
};

TEST(FrameSync, SymbolDecisionCountsZeroAsOne) {
    FrameSync sync;
    for (double y : {0.0, -0.0, 1e-300, -1e-300, 5.0, -5.0})
        sync.ProcessSymbol(y);
    const uint8_t expected[] = {1, 1, 1, 0, 1, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sync.symbolGroup()[i], expected[i]) << i;
    EXPECT_EQ(sync.symbolCount(), 6);
}

TEST(FrameSync, AlignsBytesWhereverTheyStartInTheSlot) {
    // Fillers 0x00 have no 1-to-0 data transition, so the only start pattern is the
    // real stop/start pair; the payload then has plenty of false candidates.
    const Bytes payload = {0x5A, 0xC3, 0x01, 0x80, 0xFF, 0x00, 0x96, 0x3C, 0xA5, 0x69};
    for (int lead : {0, 1, 2, 7, 16, 17, 18, 19}) {
        SCOPED_TRACE(lead);
        Harness h;
        Symbols s(lead, 1); // idle high before the first start bit
        const Symbols body = symbolsOf(concat({{0x00, 0x00, 0x00}, payload, {0x00, 0x00}}));
        s.insert(s.end(), body.begin(), body.end());

        Bytes seen; // byteBits after every completed slot
        for (size_t i = 0; i < s.size(); ++i) {
            h.sync.ProcessSymbol(s[i] ? 1.0 : -1.0);
            if (h.sync.symbolCount() == 0) seen.push_back(byteOf(h.sync.byteBits()));
        }
        // The stop bit sits two symbols before the start bit, so the window opens at
        // lead - 2, counted within the pair of slots.
        EXPECT_TRUE(h.sync.byteLocked());
        EXPECT_EQ(h.sync.byteOffset(), (lead + 18) % 20);
        EXPECT_NE(std::search(seen.begin(), seen.end(), payload.begin(), payload.end()),
                  seen.end());
    }
}

TEST(FrameSync, OffsetPastTheSecondSlotReadsZeros) {
    Harness h;
    auto slot = [](std::initializer_list<std::pair<int, int>> zerosAndOnes) {
        Symbols s(20, 1);
        for (auto [pos, v] : zerosAndOnes)
            s[pos] = v;
        return s;
    };
    // Slot 1: a start pattern straddling into the (all-zero) previous slot locks at 17.
    h.feed(slot({{17, 0}}));
    ASSERT_TRUE(h.sync.byteLocked());
    ASSERT_EQ(h.sync.byteOffset(), 17);
    // Slot 2: the check at 17 fails; this slot carries a pattern at 10.
    h.feed(slot({{10, 0}, {13, 0}}));
    ASSERT_FALSE(h.sync.byteLocked());
    // Slot 3 has no pattern of its own, so the search finds slot 2's at 20 + 10.
    h.feed(Symbols(20, 1));
    ASSERT_TRUE(h.sync.byteLocked());
    ASSERT_EQ(h.sync.byteOffset(), 30);
    // Slot 4: the window starts at its symbol 10; bits 0..2 come from symbols 15, 17
    // and 19, bits 3..7 would lie past the two slots and read 0 (not the all-one slot 3).
    h.feed(slot({{10, 0}, {13, 0}, {17, 0}}));
    EXPECT_TRUE(h.sync.byteLocked());
    const std::array<uint8_t, 8> expected = {1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(h.sync.byteBits(), expected);
}

TEST(FrameSync, HeaderToleratesTwentyBitErrorsNotTwentyOne) {
    const Bytes fillers = {0x00, 0x00, 0x00};
    const Bytes content = pseudoRandomBytes(kFrameBytes, 99);
    for (int errors : {0, 1, 20, 21, 30}) {
        SCOPED_TRACE(errors);
        Bytes header = kHeader;
        for (int j = 0; j < errors; ++j)
            header[(j * 7) % 20] ^= static_cast<uint8_t>(1u << ((j * 3) % 8));
        Harness h;
        h.feed(symbolsOf(concat({fillers, header})));
        EXPECT_EQ(h.sync.headerScore(), 160 - 2 * errors);
        EXPECT_EQ(h.sync.inFrame(), errors <= 20);
        h.feed(symbolsOf(concat({content, {0x00, 0x00}})));
        if (errors <= 20) {
            ASSERT_EQ(h.recorder.frames.size(), 1u);
            EXPECT_EQ(h.recorder.frames[0], content);
            // Exactly at the last symbol of the 220th content slot.
            EXPECT_EQ(h.recorder.completedAt[0], (3 + 20 + 220) * 20 - 1);
        } else {
            EXPECT_TRUE(h.recorder.frames.empty());
        }
    }
}

TEST(FrameSync, HeaderEndingMidSlotStartsContentAtTheNextSlot) {
    // Three extra bits before the header put its last bit at bit 2 of a slot.
    std::vector<int> bits(24 + 3, 0);
    for (uint8_t b : kHeader)
        for (int k = 0; k < 8; ++k)
            bits.push_back((b >> k) & 1);
    const Bytes content = pseudoRandomBytes(kFrameBytes + 3, 5);
    for (uint8_t b : content)
        for (int k = 0; k < 8; ++k)
            bits.push_back((b >> k) & 1);
    ASSERT_EQ(bits.size() % 8, 3u);
    while (bits.size() % 8)
        bits.push_back(0);
    Bytes stream(bits.size() / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        stream[i / 8] |= static_cast<uint8_t>(bits[i] << (i % 8));
    // The header's last bit (stream bit 186) is in stream byte 23.

    Harness h;
    const Symbols all = symbolsOf(stream);
    h.feed(Symbols(all.begin(), all.begin() + 23 * 20));
    EXPECT_FALSE(h.sync.inFrame());
    h.feed(Symbols(all.begin() + 23 * 20, all.begin() + 24 * 20));
    EXPECT_TRUE(h.sync.inFrame());
    EXPECT_EQ(h.sync.frameBitCount(), 0);
    h.feed(Symbols(all.begin() + 24 * 20, all.end()));
    ASSERT_EQ(h.recorder.frames.size(), 1u);
    EXPECT_EQ(h.recorder.frames[0], Bytes(stream.begin() + 24, stream.begin() + 24 + kFrameBytes));
}

TEST(FrameSync, FailedSlotRepeatsTheLastGoodByteAndFrameKeepsItsLength) {
    // Content bytes with no 1-to-0 data transition, so a lost alignment is found
    // again only at the true stop/start pair.
    const uint8_t shapes[] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};
    Bytes content(kFrameBytes);
    for (int n = 0; n < kFrameBytes; ++n)
        content[n] = shapes[n % 9];
    const int bad = 98; // content[97] = 0xE0, content[98] = 0xFF
    ASSERT_EQ(content[bad], 0xFF);

    Symbols s = symbolsOf(concat({{0x00, 0x00, 0x00}, kHeader, content, {0x00, 0x00}}));
    const size_t badStart = (3 + 20 + bad) * 20;
    s[badStart] = 0; // start bit sent as 0,1: the slot fails its check
    s[badStart + 1] = 1;

    Harness h;
    h.feed(s);
    ASSERT_EQ(h.recorder.frames.size(), 1u);
    EXPECT_EQ(h.recorder.completedAt[0], (3 + 20 + 220) * 20 - 1);
    // The failed slot and the two slots spent finding the byte again carry the last
    // good byte; everything else arrives unchanged.
    Bytes expected = content;
    expected[bad] = expected[bad + 1] = expected[bad + 2] = content[bad - 1];
    EXPECT_EQ(h.recorder.frames[0], expected);
}

// Whatever the line did before the first header, the first frame arrives whole. An empty
// history (the start, or a reset) must not pass for a header: the header is mostly zero
// bits, so a history of zeros plus a few misread bytes would otherwise fire inside it.
TEST(FrameSync, FirstFrameArrivesWholeAfterIdleLineSilenceOrNoise) {
    const Bytes content = pseudoRandomBytes(kFrameBytes, 2024);
    const Bytes following = {0x00, 0x00};
    Symbols idle; // stop bits: 1 sent as 0,1
    for (int k = 0; k < 400; ++k)
        appendBit(idle, 1);
    const Symbols silence(800, 1); // y = 0 decides 1
    const Symbols lowLine(800, 0);
    const Symbols noise = [] {
        Symbols s;
        for (uint8_t b : pseudoRandomBytes(120, 7))
            for (int k = 0; k < 8; ++k)
                s.push_back((b >> k) & 1);
        return s;
    }();

    struct Lead {
        const char* name;
        Symbols symbols;
    };
    std::vector<Lead> leads = {{"nothing", {}}};
    for (int cut : {0, 1, 2, 7, 13, 19, 20, 33})
        leads.push_back({"idle line", Symbols(idle.begin() + cut, idle.end())});
    for (int cut : {0, 3, 10, 19})
        leads.push_back({"digital silence", Symbols(silence.begin() + cut, silence.end())});
    leads.push_back({"line held low", lowLine});
    for (int cut : {0, 5, 11, 17})
        leads.push_back({"noise", Symbols(noise.begin() + cut, noise.end())});

    for (bool afterReset : {false, true}) {
        for (const Lead& lead : leads) {
            SCOPED_TRACE(std::string(lead.name) + " of " + std::to_string(lead.symbols.size()) +
                         (afterReset ? " after a reset" : ""));
            Harness h;
            if (afterReset) {
                // A frame's worth of traffic, then the state of a new receiver again.
                h.feed(symbolsOf(concat({{0x00, 0x00}, kHeader, content})));
                ASSERT_EQ(h.recorder.frames.size(), 1u);
                h.sync.reset();
                h.recorder.frames.clear();
            }
            h.feed(lead.symbols);
            EXPECT_FALSE(h.sync.inFrame());
            h.feed(symbolsOf(concat({kHeader, content, following})));
            ASSERT_EQ(h.recorder.frames.size(), 1u);
            EXPECT_EQ(h.recorder.frames[0], content);
        }
    }
}

// Places not yet heard since the start count neither way: the last bits of a header, heard
// after an idle line, fire at its end once they are at least the 120 the threshold asks
// for, and never before its end.
TEST(FrameSync, HeaderHeardOnlyInPartFiresAtItsEndFromTheThresholdOn) {
    for (int heard : {0, 8, 80, 112, 120, 128, 152}) {
        SCOPED_TRACE(heard);
        Harness h;
        // Two idle bytes only find the byte boundary; the first byte read is the tail's.
        h.feed(symbolsOf({0xFF, 0xFF}));
        const Bytes tail(kHeader.end() - heard / 8, kHeader.end());
        for (uint8_t b : tail) {
            EXPECT_FALSE(h.sync.inFrame()) << "fired before the header's end";
            h.feed(symbolsOf({b}));
        }
        EXPECT_EQ(h.sync.inFrame(), heard >= 120);
        EXPECT_EQ(h.sync.headerScore(), heard);
    }
}

} // namespace
} // namespace nimbo
