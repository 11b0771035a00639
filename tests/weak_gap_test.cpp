// SPDX-License-Identifier: GPL-3.0-or-later
// Samples lost or added by a sound card (an overrun drops some, an underrun replays some)
// and noise bursts in a clean flight cost the weak receiver the frames they touch and at
// most one more, on FM Det audio and on the IF.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/nimbo_core.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

constexpr int kFrames = 12;
constexpr int64_t kFrameSamples = 48000; // a frame a second at 4800 symbols/s
// A second of idle line first, so that the carrier is found before frame 0.
constexpr int64_t kLeadIn = kFrameSamples;

class Collect final : public CoreHooks {
  public:
    explicit Collect(const NimboCore& core) : core_(core) {}
    void frameDecoded() override { frames.push_back(core_.frame()); }
    std::vector<DecodedFrame> frames;

  private:
    const NimboCore& core_;
};

synth::SynthOptions flightOptions(bool ifPath) {
    synth::SynthOptions o;
    o.frames = kFrames;
    o.ifSignal = ifPath;
    o.carrierOffsetHz = ifPath ? 700.0 : 0.0;
    o.leadInSeconds = double(kLeadIn) / kFrameSamples;
    return o;
}

const std::vector<int16_t>& flight(bool ifPath) {
    static const std::array<std::vector<int16_t>, 2> made = {
        synth::synthesize(flightOptions(false)), synth::synthesize(flightOptions(true))};
    return made[ifPath ? 1 : 0];
}

enum class Damage { None, Drop, Insert, Burst };

struct GapCase {
    const char* name;
    Damage damage;
    int64_t at; // first sample dropped, replayed before, or drowned (kLeadIn + frame n's at n s)
    int samples;
};

// The flight with the damage done: an insertion replays the samples just before it.
std::vector<int16_t> damaged(const std::vector<int16_t>& pcm, const GapCase& c) {
    std::vector<int16_t> out = pcm;
    const auto word = [](int64_t sample) { return static_cast<std::ptrdiff_t>(2 * sample); };
    switch (c.damage) {
    case Damage::None:
        break;
    case Damage::Drop:
        out.erase(out.begin() + word(c.at), out.begin() + word(c.at + c.samples));
        break;
    case Damage::Insert:
        out.insert(out.begin() + word(c.at), pcm.begin() + word(c.at - c.samples),
                   pcm.begin() + word(c.at));
        break;
    case Damage::Burst: {
        // Noise four times the signal's level, clipped as a sound card would.
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, 4.0 * 8000.0 / std::sqrt(2.0));
        for (auto w = out.begin() + word(c.at); w != out.begin() + word(c.at + c.samples); ++w)
            *w = static_cast<int16_t>(std::clamp(noise(rng), -32767.0, 32767.0));
        break;
    }
    }
    return out;
}

// Frames whose second of the flight the damage reaches.
int framesTouched(const GapCase& c) {
    if (c.damage == Damage::None) return 0;
    const int64_t first = c.at - kLeadIn;
    const int64_t last = c.damage == Damage::Insert ? first : first + c.samples - 1;
    return static_cast<int>(last / kFrameSamples - first / kFrameSamples + 1);
}

class WeakGaps : public ::testing::TestWithParam<bool> {};

TEST_P(WeakGaps, CostTheFramesTouchedAndAtMostOneMore) {
    const bool ifPath = GetParam();
    const synth::SynthOptions o = flightOptions(ifPath);
    const GapCase cases[] = {
        {"nothing", Damage::None, 0, 0},
        // One byte (20 symbols) dropped in the data: the old tracker stayed a byte late.
        {"200 dropped in the data", Damage::Drop, kLeadIn + 4 * kFrameSamples + 30000, 200},
        {"200 replayed in the data", Damage::Insert, kLeadIn + 4 * kFrameSamples + 30000, 200},
        {"2400 dropped over the sync", Damage::Drop, kLeadIn + 5 * kFrameSamples + 2000, 2400},
        {"2400 replayed before the sync", Damage::Insert, kLeadIn + 5 * kFrameSamples + 3000, 2400},
        {"4800 dropped over a frame's end", Damage::Drop, kLeadIn + 6 * kFrameSamples - 2000, 4800},
        {"4800 replayed in the parity", Damage::Insert, kLeadIn + 6 * kFrameSamples + 5000, 4800},
        {"0.1 s noise burst in the data", Damage::Burst, kLeadIn + 4 * kFrameSamples + 20000, 4800},
        {"0.05 s noise burst over the sync", Damage::Burst, kLeadIn + 7 * kFrameSamples + 3500,
         2400},
    };
    for (const GapCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> pcm = damaged(flight(ifPath), c);
        pcm.resize((pcm.size() / kBlockWords + 4) * kBlockWords, 0);

        auto core = std::make_unique<NimboCore>();
        Collect collect(*core);
        core->setHooks(&collect);
        core->setDrawPictures(false);
        ReceiverSettings settings;
        settings.DemodType = ifPath ? 1 : 0;
        settings.Weak = true;
        core->applySettings(settings);
        for (std::size_t i = 0; i < pcm.size(); i += kBlockWords)
            core->ProcessWaveBuffer(pcm.data() + i);

        std::set<int> whole;
        for (const DecodedFrame& f : collect.frames) {
            if (!(f.sondeBlockOk && f.sensorBlockOk && f.gpsBlockOk)) continue;
            const int n = static_cast<int>(f.frameNumber) - o.firstFrameNumber;
            ASSERT_TRUE(n >= 0 && n < kFrames) << "frame number " << f.frameNumber;
            if (std::ranges::equal(f.frameBytes, synth::buildFrame(o, n))) whole.insert(n);
        }
        const int lost = kFrames - static_cast<int>(whole.size());
        EXPECT_LE(lost, framesTouched(c) + (c.damage == Damage::None ? 0 : 1))
            << "touched " << framesTouched(c);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, WeakGaps, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "If" : "FmDet"; });

} // namespace
} // namespace nimbo
