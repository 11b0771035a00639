// SPDX-License-Identifier: GPL-3.0-or-later
// Every stage of the receiver, reset after it has worked, behaves exactly like a new one:
// the device change and the import start the chain again this way.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "dsp/block_fir.h"
#include "dsp/front_end.h"
#include "dsp/symbol_clock.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

std::vector<double> noise(unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, 3000.0);
    std::vector<double> v(kBlockSamples);
    for (double& x : v)
        x = gauss(rng);
    return v;
}

TEST(Reset, FiltersAndClockStartAgainAsNew) {
    const std::vector<double> dirty = noise(1), clean = noise(2);
    for (const FirTaps* taps : {&bandPassTaps, &hilbertTaps, &lowPassTaps}) {
        BlockFir used(*taps), fresh(*taps);
        std::vector<double> a(kBlockSamples), b(kBlockSamples);
        used.process(dirty.data(), a.data(), kBlockSamples);
        used.reset();
        used.process(clean.data(), a.data(), kBlockSamples);
        fresh.process(clean.data(), b.data(), kBlockSamples);
        EXPECT_EQ(a, b);
    }

    SymbolClock used, fresh;
    for (double y : dirty)
        used.step(y);
    used.reset();
    for (int i = 0; i < kBlockSamples; ++i)
        ASSERT_EQ(used.step(clean[i]), fresh.step(clean[i])) << i;
    EXPECT_EQ(used.z1, fresh.z1);
}

// What a receiver gives for a signal: every block's conditioned samples and clock ticks,
// and the bits of every frame it completes.
struct ChainRun final : FrameListener {
    Receiver receiver{this};
    std::vector<double> signal;
    std::vector<uint8_t> ticks, frames;

    void frameComplete() override {
        frames.insert(frames.end(), receiver.sync().frameBits().begin(),
                      receiver.sync().frameBits().end());
    }
    void feed(const std::vector<int16_t>& pcm, const ReceiverSettings& settings) {
        for (std::size_t at = 0; at + kBlockWords <= pcm.size(); at += kBlockWords) {
            receiver.processBlock(pcm.data() + at, settings);
            signal.insert(signal.end(), receiver.demodSignal().begin(),
                          receiver.demodSignal().end());
            ticks.insert(ticks.end(), receiver.symbolTicks().begin(), receiver.symbolTicks().end());
        }
    }
};

TEST(Reset, ReceiverMidFrameStartsAgainAsNew) {
    for (const bool ifPath : {false, true}) {
        synth::SynthOptions options;
        options.ifSignal = ifPath;
        options.frames = 3;
        options.ebN0dB = 18.0;
        const std::vector<int16_t> clean = synth::synthesize(options);
        options.serial = "D1111111";
        options.frames = 2;
        options.seed = 7;
        std::vector<int16_t> dirty = synth::synthesize(options);
        dirty.resize(15 * kBlockWords); // stops in the middle of the second frame
        const ReceiverSettings settings{ifPath ? 1 : 0, 0, false};

        ChainRun used, fresh;
        used.feed(dirty, settings);
        ASSERT_TRUE(used.receiver.sync().inFrame());
        used.receiver.reset();
        used.signal.clear();
        used.ticks.clear();
        used.frames.clear();
        used.feed(clean, settings);
        fresh.feed(clean, settings);
        EXPECT_EQ(used.signal, fresh.signal) << ifPath;
        EXPECT_EQ(used.ticks, fresh.ticks) << ifPath;
        EXPECT_EQ(used.frames, fresh.frames) << ifPath;
        EXPECT_GE(fresh.frames.size(), 2u * kFrameBits) << ifPath;
    }
}

} // namespace
} // namespace nimbo
