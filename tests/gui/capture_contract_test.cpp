// SPDX-License-Identifier: GPL-3.0-or-later
// The capture hand-off with a source of our own on its own thread: one run per filled
// block, slotsTaken in ring order, blocks intact, stale notices harmless.
#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "capture/capture.h"

namespace nimbo::test {
namespace {

constexpr int kBlockBytes = 19200;
constexpr int kBlockWords = kBlockBytes / 2;

// What each run saw: its slot and the value its block was filled with.
struct Runs {
    std::vector<int> slotsTaken;
    std::vector<int> values;
    int mixedBlocks = 0; // blocks whose words were not all the same value
};

void record(Runs& runs, const int16_t* block, int slot) {
    runs.slotsTaken.push_back(slot);
    runs.values.push_back(block[0]);
    for (int i = 1; i < kBlockWords; ++i)
        if (block[i] != block[0]) {
            ++runs.mixedBlocks;
            break;
        }
}

// Writes blocks first..first+count-1, every word of block k holding k, in chunks of
// `chunk` bytes that cut across block boundaries, from a thread of its own.
void feed(QIODevice* sink, int first, int count, int chunk) {
    std::thread source([=] {
        std::vector<int16_t> pcm(static_cast<size_t>(count) * kBlockWords);
        for (int k = 0; k < count; ++k)
            std::fill_n(pcm.begin() + k * kBlockWords, kBlockWords, int16_t(first + k));
        const char* bytes = reinterpret_cast<const char*>(pcm.data());
        const qint64 total = qint64(pcm.size()) * 2;
        for (qint64 at = 0; at < total; at += chunk)
            sink->write(bytes + at, std::min<qint64>(chunk, total - at));
    });
    source.join();
}

std::vector<int> range(int first, int count, int modulo) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) v.push_back((first + i) % modulo);
    return v;
}

TEST(CaptureContract, EveryBlockRunsOnceInRingOrder) {
    Capture capture;
    Runs runs;
    capture.setBlockHandler([&](const int16_t* b, int slot) { record(runs, b, slot); });
    QIODevice* sink = capture.openSession();

    // 70 blocks in three bursts that each fit the ring: slotsTaken 0..31, 0..31, 0..5.
    int written = 0;
    for (int burst : {32, 32, 6}) {
        feed(sink, written, burst, 4099);
        written += burst;
        ASSERT_TRUE(QTest::qWaitFor([&] { return int(runs.slotsTaken.size()) == written; }, 5000));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(runs.slotsTaken, range(0, 70, 32));
    EXPECT_EQ(runs.values, range(0, 70, 1 << 16));
    EXPECT_EQ(runs.mixedBlocks, 0);
    EXPECT_EQ(capture.droppedBytes(), 0u);
}

TEST(CaptureContract, FullRingDropsAudioInsteadOfOverwritingWaitingBlocks) {
    Capture capture;
    Runs runs;
    capture.setBlockHandler([&](const int16_t* b, int slot) { record(runs, b, slot); });
    QIODevice* sink = capture.openSession();

    // 33 blocks while the main thread is busy: the 33rd finds no free slot.
    feed(sink, 0, 33, kBlockBytes);
    EXPECT_EQ(capture.droppedBytes(), uint64_t(kBlockBytes));
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.slotsTaken.size() == 32; }, 5000));
    feed(sink, 100, 2, kBlockBytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.slotsTaken.size() == 34; }, 5000));
    EXPECT_EQ(runs.values, [] {
        std::vector<int> v = range(0, 32, 1 << 16);
        v.push_back(100);
        v.push_back(101);
        return v;
    }());
    EXPECT_EQ(runs.slotsTaken, range(0, 34, 32));
}

TEST(CaptureContract, ReopenStartsAtSlotZeroAndOldNoticesAreDropped) {
    Capture capture;
    Runs runs;
    capture.setBlockHandler([&](const int16_t* b, int slot) { record(runs, b, slot); });
    QIODevice* sink = capture.openSession();
    feed(sink, 0, 5, 7000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.slotsTaken.size() == 5; }, 5000));

    // Three more blocks whose notices are still queued when the session closes.
    feed(sink, 5, 3, 7000);
    capture.closeSession();
    sink = capture.openSession();
    QTest::qWait(50);
    EXPECT_EQ(runs.slotsTaken.size(), 5u);

    feed(sink, 200, 2, 7000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.slotsTaken.size() == 7; }, 5000));
    EXPECT_EQ(runs.slotsTaken, (std::vector<int>{0, 1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(runs.values, (std::vector<int>{0, 1, 2, 3, 4, 200, 201}));

    // The same after a close without a reopen.
    feed(sink, 300, 2, 7000);
    capture.close();
    QTest::qWait(50);
    EXPECT_EQ(runs.slotsTaken.size(), 7u);
}

TEST(CaptureContract, RunsThatPumpEventsDoNotOverlap) {
    Capture capture;
    Runs runs;
    int depth = 0, deepest = 0;
    capture.setBlockHandler([&](const int16_t* b, int slot) {
        deepest = std::max(deepest, ++depth);
        record(runs, b, slot);
        if (runs.slotsTaken.size() == 1) QCoreApplication::processEvents(); // like an import
        --depth;
    });
    QIODevice* sink = capture.openSession();
    feed(sink, 0, 4, kBlockBytes); // four notices queued before any run
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.slotsTaken.size() == 4; }, 5000));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(runs.slotsTaken, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(runs.values, (std::vector<int>{0, 1, 2, 3}));
}

} // namespace
} // namespace nimbo::test
