// SPDX-License-Identifier: GPL-3.0-or-later
// The capture ring between an audio-side thread and the main side, without Qt: every block
// arrives once, whole and in order, and a full ring drops audio instead of overwriting
// blocks that wait. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "capture/capture_ring.h"

namespace nimbo {
namespace {

constexpr int kBlockWords = CaptureRing::kBlockBytes / 2;

// Blocks first..first+count-1, every word of block k holding k.
std::vector<int16_t> blocksFrom(int first, int count) {
    std::vector<int16_t> pcm(static_cast<size_t>(count) * kBlockWords);
    for (int k = 0; k < count; ++k)
        std::fill_n(pcm.begin() + k * kBlockWords, kBlockWords, static_cast<int16_t>(first + k));
    return pcm;
}

// The value of a taken block, or -1 when its words are not all the same.
int blockValue(const int16_t* block) {
    for (int i = 1; i < kBlockWords; ++i)
        if (block[i] != block[0]) return -1;
    return block[0];
}

TEST(CaptureRing, BlocksCrossTheThreadsWholeAndInOrder) {
    constexpr int kBlocks = 300; // the ring goes round nine times
    // Chunk sizes that cut blocks anywhere: odd, smaller and larger than a block.
    for (int chunk : {1001, 19200, 25601}) {
        SCOPED_TRACE(chunk);
        CaptureRing ring;
        std::atomic<int> taken{0};
        std::thread audio([&] {
            const std::vector<int16_t> pcm = blocksFrom(0, kBlocks);
            const char* bytes = reinterpret_cast<const char*>(pcm.data());
            const size_t total = pcm.size() * 2;
            int completed = 0;
            for (size_t at = 0; at < total; at += chunk) {
                // Keep a slot free so that nothing is dropped: this test is about order.
                while (completed - taken.load() >= CaptureRing::kSlots - 2)
                    std::this_thread::yield();
                completed += ring.fill(bytes + at, std::min<size_t>(chunk, total - at));
            }
        });
        std::vector<int> seen;
        while (static_cast<int>(seen.size()) < kBlocks) {
            const int16_t* block = ring.take();
            if (!block) {
                std::this_thread::yield();
                continue;
            }
            seen.push_back(blockValue(block));
            ring.release();
            taken.fetch_add(1);
        }
        audio.join();
        std::vector<int> expected(kBlocks);
        for (int k = 0; k < kBlocks; ++k)
            expected[k] = k;
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(ring.droppedBytes(), 0u);
        EXPECT_EQ(ring.take(), nullptr);
    }
}

TEST(CaptureRing, FullRingDropsTheRestAndKeepsTheWaitingBlocks) {
    CaptureRing ring;
    std::thread audio([&] {
        const std::vector<int16_t> pcm = blocksFrom(100, 40);
        EXPECT_EQ(ring.fill(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2),
                  CaptureRing::kSlots);
    });
    audio.join();
    EXPECT_EQ(ring.droppedBytes(), 8u * CaptureRing::kBlockBytes);
    for (int k = 0; k < CaptureRing::kSlots; ++k) {
        EXPECT_EQ(ring.ringIndex(), k);
        const int16_t* block = ring.take();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(blockValue(block), 100 + k);
        ring.release();
    }
    EXPECT_EQ(ring.take(), nullptr);
    ring.release(); // nothing to release: stays empty
    EXPECT_EQ(ring.take(), nullptr);
}

} // namespace
} // namespace nimbo
