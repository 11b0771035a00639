// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's front ends: FM Det phase from audio, IF and I/Q through the channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "dsp/frame_sync.h"
#include "dsp/front_end.h"
#include "dsp/weak/channel_filter.h"
#include "dsp/weak/fm_front_end.h"
#include "dsp/weak/if_front_end.h"

namespace nimbo {
namespace {
using namespace weak;
constexpr double kPi = std::numbers::pi;
using Cf = std::complex<float>;

Cf at(const Baseband& b, int i) {
    return {b.re[kCarry + i], b.im[kCarry + i]};
}
// Turn from one output sample to the next, -pi..pi.
double stepAt(const Baseband& b, int i, Cf before) {
    return std::arg(at(b, i) * std::conj(before));
}

// After a block of silence, constant audio turns the rebuilt phase by its own step per
// sample (the mean-step loop has barely moved); clipped audio is a click of fixed size.
TEST(FmFrontEnd, ConstantAudioTurnsThePhaseByItsStep) {
    // Clipping at 32767 is 1.287 rad at full deviation 1; a click is 0.36 of the way on to pi.
    const auto click = [](double deviation) {
        const double clip = 32767.0 / 8000.0 * kPi / 10.0 / deviation;
        return clip + 0.36 * (kPi - clip);
    };
    struct Row {
        int16_t audio;
        double deviation, step;
        bool clip;
    };
    const Row rows[] = {
        {2000, 1.0, 0.25 * kPi / 10.0, false},
        {-2000, 1.0, -0.25 * kPi / 10.0, false},
        {4000, 2.0, 0.25 * kPi / 10.0, false},
        {20000, 0.5, kPi / 2.0, false}, // beyond 1.2 rad
        {32766, 1.0, 32766.0 / 8000.0 * kPi / 10.0, false},
        {32767, 1.0, click(1.0), true},
        {-32768, 1.0, -click(1.0), true},
        {32767, 2.0, click(2.0), true},
        // Full scale beyond half a turn a step: no click can clip, the value is the step.
        {32767, 0.4, std::remainder(32767.0 / 8000.0 * kPi / 10.0 / 0.4, 2.0 * kPi), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.audio << " at deviation " << row.deviation);
        FmFrontEnd fm;
        Baseband out;
        std::vector<int16_t> audio(kBlockSamples, 0);
        fm.process(audio.data(), 1, row.deviation, out);
        const Cf last = at(out, kBlockSamples - 1);
        std::fill(audio.begin(), audio.end(), row.audio);
        fm.process(audio.data(), 1, row.deviation, out);
        // The offset is re-read every 64 samples: until then it holds at about 0.
        EXPECT_NEAR(stepAt(out, 0, last), row.step, 1e-3);
        for (int i = 1; i < 64; ++i)
            ASSERT_NEAR(stepAt(out, i, at(out, i - 1)), row.step, 1e-3) << i;
        int clips = 0;
        for (int i = 0; i < kBlockSamples; ++i)
            clips += out.clips[kCarry + i];
        EXPECT_EQ(clips, row.clip ? kBlockSamples : 0);
        EXPECT_FLOAT_EQ(out.freq[7], row.audio / 8000.0f);
    }
}

// Once the mean step has settled the phase stops turning; a retune takes off more (so the
// phase turns back), and a reset forgets both the offset and the retune.
TEST(FmFrontEnd, OffsetTakenOffRetunedAndReset) {
    const double step = 0.25 * kPi / 10.0; // audio 2000 at deviation 1
    FmFrontEnd fm;
    Baseband out;
    std::vector<int16_t> audio(kBlockSamples, 0);
    fm.process(audio.data(), 1, 1.0, out);
    std::fill(audio.begin(), audio.end(), int16_t{2000});
    for (int b = 0; b < 6; ++b)
        fm.process(audio.data(), 1, 1.0, out);
    EXPECT_NEAR(fm.offset(), step, 1e-6);
    for (int i = 1; i < kBlockSamples; ++i)
        ASSERT_NEAR(stepAt(out, i, at(out, i - 1)), 0.0, 1e-4) << i;

    fm.retune(0.01);
    EXPECT_NEAR(fm.offset(), step + 0.01, 1e-6);
    Cf before = at(out, kBlockSamples - 1);
    fm.process(audio.data(), 1, 1.0, out);
    for (int i = 0; i < kBlockSamples; before = at(out, i), ++i)
        ASSERT_NEAR(stepAt(out, i, before), -0.01, 1e-4) << i;

    fm.reset();
    EXPECT_EQ(fm.offset(), 0.0);
    FmFrontEnd fresh;
    Baseband freshOut;
    fm.process(audio.data(), 1, 1.0, out);
    fresh.process(audio.data(), 1, 1.0, freshOut);
    EXPECT_TRUE(out.re == freshOut.re && out.im == freshOut.im);
}

// A tone on the 12 kHz IF or as I/Q comes out of the channel filter as its offset from the
// tuned place: a constant phasor when tuned onto it, and `freq` sin(w) / sin(pi/10) for a
// turn of w a sample (1 at the full deviation, 2400 Hz); far off the channel it is gone.
TEST(ChannelFilter, ToneComesOutAtItsOffsetFromTheTune) {
    struct Row {
        bool iq;
        double toneHz, tuneHz, retuneHz;
        double magnitude, tolerance; // of the output; tolerance < 0: at most `magnitude`
    };
    // Amplitude 8000: 1 on I/Q, 1/2 on the IF (the mixer's other half is the image at
    // 24 kHz); the IF low-pass passes 1.5 kHz at 0.996, the channel its middle at 1.
    const Row rows[] = {
        {true, 1500, 1500, 0, 1.0, 0.002},      {true, -1500, -1500, 0, 1.0, 0.002},
        {true, 1500, 1000, 500, 1.0, 0.002},    {true, -9700, -9700, 0, 1.0, 0.002},
        {true, 1200, 0, 0, 0.9, 0.1},           {true, -2400, 0, 0, 0.9, 0.1},
        {true, 3700, 1300, 0, 0.9, 0.1},        {true, 12000, 0, 0, 0.01, -1},
        {true, -10500, 1500, 0, 0.01, -1},      {false, 1500, 1500, 0, 0.4979, 0.003},
        {false, -2500, -2500, 0, 0.491, 0.003}, {false, 2400, 0, 0, 0.45, 0.05},
        {false, -1000, 0, 0, 0.48, 0.03},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.iq ? "I/Q " : "IF ") << row.toneHz
                                        << " Hz tuned to " << row.tuneHz << " + " << row.retuneHz);
        IfFrontEnd ifFront;
        IqFrontEnd iqFront;
        ChannelFilter channel;
        channel.tune(2.0 * kPi * row.tuneHz / kSampleRate);
        if (row.retuneHz != 0.0) channel.retune(2.0 * kPi * row.retuneHz / kSampleRate);
        Baseband out;
        std::array<float, kBlockSamples> re{}, im{};
        std::vector<int16_t> block(kBlockWords);
        const double w = 2.0 * kPi * (row.toneHz - row.tuneHz - row.retuneHz) / kSampleRate;
        const double freq = std::sin(w) / std::sin(kPi / 10.0);
        int64_t n = 0;
        for (int b = 0; b < 4; ++b) {
            for (int i = 0; i < kBlockSamples; ++i, ++n) {
                const double hz = row.iq ? row.toneHz : Receiver::kCarrierHz + row.toneHz;
                const double a = 2.0 * kPi * hz * static_cast<double>(n) / kSampleRate + 0.3;
                block[2 * i] = static_cast<int16_t>(std::lround(8000.0 * std::cos(a)));
                block[2 * i + 1] = static_cast<int16_t>(std::lround(8000.0 * std::sin(a)));
            }
            if (row.iq)
                iqFront.process(block.data(), re.data(), im.data());
            else
                ifFront.process(block.data(), kInputChannels, re.data(), im.data());
            channel.process(re.data(), im.data(), out);
            if (b < 2) continue; // the filters' delay and the first outputs' start
            for (int i = 0; i < kBlockSamples; ++i) {
                const double m = std::abs(at(out, i));
                if (row.tolerance < 0) {
                    ASSERT_LT(m, row.magnitude) << i;
                    continue;
                }
                ASSERT_NEAR(m, row.magnitude, row.tolerance) << i;
                ASSERT_NEAR(out.freq[i], freq, 0.005) << i;
                ASSERT_EQ(out.clips[kCarry + i], 0);
            }
        }
    }
}

} // namespace
} // namespace nimbo
