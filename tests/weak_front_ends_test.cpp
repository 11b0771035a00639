// SPDX-License-Identifier: GPL-3.0-or-later
// The weak receiver's front ends: FM Det phase from audio, IF and I/Q through the channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
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

// A lone click on a fresh front end, sized by hand: the fixed size, less 0.31 of how far
// the two neighbouring steps exceed their mean at clicks, plus 0.2 of the steps two away
// (the means start at 0.55 and 0 rad and learn 1/512 of this click first), kept between the
// clip and half a turn. Steps in radians at full deviation 1: 8000 is pi/10.
TEST(FmFrontEnd, LoneClickSizedByItsNeighbours) {
    constexpr double kUnit = kPi / 10.0 / 8000.0, kClip = 32767.0 * kUnit;
    constexpr double kFixed = kClip + 0.36 * (kPi - kClip), kLearn = 511.0 / 512.0;
    const auto sized = [&](double next, double second) {
        return std::clamp(kFixed - 0.31 * kLearn * (next - 0.55) + 0.2 * kLearn * second, kClip,
                          kPi);
    };
    struct Row {
        std::array<int16_t, 5> audio; // samples -2 .. 2 around the click
        double step;
    };
    const Row rows[] = {
        {{0, 0, 32767, 0, 0}, sized(0.0, 0.0)},
        {{0, 0, 32767, 0, 8000}, sized(0.0, kPi / 10.0)},
        {{0, 8000, 32767, 8000, 0}, sized(kPi / 5.0, 0.0)},
        {{0, 8000, -32768, 8000, 0}, -sized(-kPi / 5.0, 0.0)},
        {{-32000, 32000, 32767, 32000, -32000}, kClip}, // the estimate falls below the clip
        {{0, 32767, 32767, 0, 0}, kFixed},              // two clipped in a row: not alone
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.audio[0] << " " << row.audio[1] << " " << row.audio[2] << " "
                     << row.audio[3] << " " << row.audio[4]);
        FmFrontEnd fm;
        Baseband out;
        std::vector<int16_t> audio(kBlockSamples, 0);
        fm.process(audio.data(), 1, 1.0, out); // the offset stays 0
        constexpr int kAt = 1000;              // mid-chunk: the offset holds across it
        std::copy(row.audio.begin(), row.audio.end(), audio.begin() + kAt - 2);
        fm.process(audio.data(), 1, 1.0, out);
        EXPECT_NEAR(std::remainder(stepAt(out, kAt, at(out, kAt - 1)) - row.step, 2.0 * kPi), 0.0,
                    1e-4);
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

// Clicks from first principles: a steady carrier in complex noise (9 dB at 2400 bit/s)
// through an IF filter, the discriminator's step a sample as 16-bit audio (2400 Hz -> 8000,
// clipped), as a receiver hands it over. Across each clipped sample the rebuilt phase must
// turn about as the carrier-plus-noise did, the rest of the phase exactly. Judged by its
// neighbours, a click behind a sharp filter (4-pole Butterworth) is closer than the fixed
// size's 0.53 rad RMS; behind a soft one (four single poles) no worse.
TEST(FmFrontEnd, ClicksRebuiltCloseToTheTruePhase) {
    using C = std::complex<double>;
    struct Row {
        bool sharp;
        double hz; // -3 dB edge
        double bound;
    };
    const Row rows[] = {{true, 7000.0, 0.50}, {true, 5000.0, 0.48}, {false, 4000.0, 0.55}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.sharp ? "Butterworth " : "single poles ") << row.hz);
        // Sharp: two biquads (Q 0.541, 1.307); soft: four single poles, each 2.3x the edge.
        struct Biquad {
            double b0, b1, b2, a1, a2;
            C z1{}, z2{};
            C operator()(C x) {
                const C y = b0 * x + z1;
                z1 = b1 * x - a1 * y + z2;
                z2 = b2 * x - a2 * y;
                return y;
            }
        };
        const auto lowPass = [&](double q) {
            const double w = 2.0 * kPi * row.hz / kSampleRate, al = std::sin(w) / (2.0 * q);
            const double c = std::cos(w), a0 = 1.0 + al;
            return Biquad{(1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0,
                          (1 - al) / a0};
        };
        std::array<Biquad, 2> biquads = {lowPass(0.5412), lowPass(1.3066)};
        std::array<C, 4> poles{};
        const double alpha = 1.0 - std::exp(-2.0 * kPi * row.hz * 2.3 / kSampleRate);
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, std::sqrt(2.5 / 2.0));
        C last{1.0, 0.0};
        FmFrontEnd fm;
        Baseband out;
        std::vector<int16_t> audio(kBlockSamples);
        std::vector<double> truth(kBlockSamples);
        double clickError = 0.0, otherError = 0.0, lastOff = 0.0;
        int clicks = 0;
        for (int block = 0; block < 30; ++block) {
            for (int i = 0; i < kBlockSamples; ++i) {
                C y{1.0 + noise(rng), noise(rng)};
                if (row.sharp)
                    for (Biquad& f : biquads)
                        y = f(y);
                else
                    for (C& p : poles)
                        y = p += alpha * (y - p);
                truth[i] = std::arg(y * std::conj(last));
                last = y;
                const double units = truth[i] * kSampleRate / (2.0 * kPi) * 8000.0 / 2400.0;
                audio[i] = static_cast<int16_t>(std::clamp(std::round(units), -32768.0, 32767.0));
            }
            Cf before = at(out, kBlockSamples - 1);
            fm.process(audio.data(), 1, 1.0, out);
            for (int i = 0; i < kBlockSamples; before = at(out, i), ++i) {
                // Off by the offset taken off (the same from sample to sample) and, at a
                // click, by the error of its size.
                const double off = stepAt(out, i, before) - truth[i];
                const double e = std::remainder(off - lastOff, 2 * kPi);
                if (out.clips[kCarry + i]) {
                    clickError += e * e;
                    ++clicks;
                } else {
                    otherError = std::max(otherError, block > 0 ? std::abs(e) : 0.0);
                    lastOff = off;
                }
            }
        }
        ASSERT_GT(clicks, 1000);
        EXPECT_LT(std::sqrt(clickError / clicks), row.bound) << clicks << " clicks";
        EXPECT_LT(otherError, 0.01);
    }
}

// A click is sized the same wherever the blocks happen to split the audio: at a block's
// first samples its neighbours come from the block before, and a click next to a clipped
// sample at the end of the block before is not a lone one. The same audio is run as it
// comes and after 100 samples more, which moves every block edge; at each click the turn
// against the next sample (free of the offset, the same across a chunk) must agree.
TEST(FmFrontEnd, ClicksSizedAlikeAcrossBlockEdges) {
    constexpr int kShift = 100;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> level(-12000, 12000);
    std::vector<int16_t> audio(4 * kBlockSamples + kShift);
    for (int16_t& a : audio)
        a = static_cast<int16_t>(level(rng));
    // Clicks at the first and second sample of the second and third blocks; a clipped
    // sample closing the third block before a click; lone ones mid-block.
    const std::vector<int> clicks = {
        kBlockSamples, 2 * kBlockSamples + 1, 3 * kBlockSamples, 700, 2500, 5000};
    for (int n : clicks)
        audio[static_cast<std::size_t>(n)] = n % 2 ? -32767 : 32767;
    audio[3 * kBlockSamples - 1] = 32767;
    const auto turnsAtClicks = [&](int shift) {
        std::vector<int16_t> in(static_cast<std::size_t>(shift), 0);
        in.insert(in.end(), audio.begin(), audio.end() - shift);
        FmFrontEnd fm;
        Baseband out;
        std::vector<Cf> phase;
        for (std::size_t b = 0; b + kBlockSamples <= in.size(); b += kBlockSamples) {
            fm.process(in.data() + b, 1, 1.0, out);
            for (int i = 0; i < kBlockSamples; ++i)
                phase.push_back(at(out, i));
        }
        std::vector<double> turns;
        for (int n : clicks) {
            const auto k = static_cast<std::size_t>(n + shift);
            turns.push_back(std::arg(phase[k] * std::conj(phase[k - 1])) -
                            std::arg(phase[k + 1] * std::conj(phase[k])));
        }
        return turns;
    };
    const std::vector<double> asComes = turnsAtClicks(0), moved = turnsAtClicks(kShift);
    for (std::size_t c = 0; c < clicks.size(); ++c)
        EXPECT_NEAR(asComes[c], moved[c], 1e-4) << "click at " << clicks[c];
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
