// SPDX-License-Identifier: GPL-3.0-or-later
// SDR I/Q to 48 kHz blocks, checked against tones worked out by hand: each lands at its
// distance from the offset at the level asked for, what lies outside the band stays out, the
// gain is slow and never clips, the discriminator reads 8000 per 2400 Hz; bad input is named.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

#include "audio/iq_input.h"
#include "dsp/iq_discriminator.h"
#include "dsp/signal.h"
#include "tests/iq_signal.h"
#include "tests/scratch_dir.h"

namespace nimbo::test {
namespace {

using F = RawSampleFormat;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every block of a source as 48 kHz complex samples (left = I, right = Q).
Iq drain(BlockSource& source) {
    Iq z;
    std::vector<int16_t> block(kBlockWords);
    for (int n = 0; n < 10000 && source.next(block.data()); ++n)
        for (int k = 0; k < kBlockSamples; ++k)
            z.emplace_back(block[2 * k], block[2 * k + 1]);
    return z;
}

// Raw pairs through a named file, as nimbo-decode reads them.
Iq decimate(const Iq& input, F format, int rate, double offsetHz) {
    const std::string path = scratchDir("iq-input") + "/capture.raw";
    writeBytes(path, rawIq(input, format));
    std::string error;
    auto source = openRawIqFile(path, {rate, format, offsetHz}, error);
    EXPECT_TRUE(source) << error;
    if (!source) return {};
    EXPECT_EQ(source->progress(), 0.0);
    Iq z = drain(*source);
    EXPECT_EQ(source->error(), "");
    EXPECT_EQ(source->progress(), 1.0); // every byte of the file used
    return z;
}

// Power of the component at `hz` in samples [from, from + count) of 48 kHz, Hann-windowed so
// that a strong tone elsewhere does not leak into it; a tone of amplitude A reads A^2.
double powerAt(const Iq& z, double hz, std::size_t from, std::size_t count) {
    std::complex<double> sum;
    double weights = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * (n + 0.5) / count);
        const double t = double(from + n) / kSampleRate;
        sum += w * z[from + n] * std::polar(1.0, -kTwoPi * std::fmod(hz * t, 1.0));
        weights += w;
    }
    return std::norm(sum / weights);
}

double meanPower(const Iq& z, std::size_t from, std::size_t count) {
    double sum = 0.0;
    for (std::size_t n = from; n < from + count; ++n)
        sum += std::norm(z[n]);
    return sum / double(count);
}

// A tone at toneHz lands at toneHz - offsetHz with |z| near 4000, all its power in that one
// frequency (a tone 1 Hz off, or mirrored, or aliased, would fail), at every format and rate.
TEST(IqInput, ToneLandsAtItsDistanceFromTheOffset) {
    struct Case {
        const char* name;
        F format;
        int rate;
        double toneHz, offsetHz, amplitude; // amplitude in the format's units
    } cases[] = {
        {"u8 240 kHz", F::U8, 240000, 27000, 20000, 100},
        {"s16 960 kHz", F::S16, 960000, -160000, -150000, 10000},
        {"s16 250 kHz, 48 phases", F::S16, 250000, 12000, 0, 10000},
        {"f32 250007 Hz, interpolated phases", F::F32, 250007, -3000, 0, 0.5},
        {"f32 2.048 MHz", F::F32, 2048000, 295000, 300000, 0.5},
        {"s16 3.2 MHz", F::S16, 3200000, 1000000, 990000, 20000},
        {"u8 48 kHz, passed through", F::U8, 48000, 3000, 5000, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto count = static_cast<std::size_t>(0.4 * c.rate);
        const Iq z =
            decimate(toneIq(c.toneHz, c.rate, count, c.amplitude), c.format, c.rate, c.offsetHz);
        ASSERT_GE(z.size(), 19200u);                // 0.4 s
        const std::size_t from = 2400, span = 9600; // 0.05 s in, 0.2 s long
        const double total = meanPower(z, from, span);
        EXPECT_GT(powerAt(z, c.toneHz - c.offsetHz, from, span) / total, 0.99);
        EXPECT_NEAR(std::sqrt(total), 4000.0, 80.0);
        double low = 1e9, high = 0.0; // no ripple from the filters or the gain
        for (std::size_t n = from; n < from + span; ++n) {
            low = std::min(low, std::abs(z[n]));
            high = std::max(high, std::abs(z[n]));
        }
        EXPECT_LT(high / low, 1.02);
    }
}

// A tone outside the band, of the same strength as one inside, is at least 60 dB down where
// it would fold to without the filters.
TEST(IqInput, TonesOutsideTheBandStayOut) {
    struct Case {
        int rate;
        double farHz;   // the tone outside the band
        double foldsTo; // where it would appear at 48 kHz, or after a halving
    } cases[] = {
        {240000, 50000, 2000},     // the polyphase filter's stop band
        {960000, 230000, -10000},  // folded by the second halving
        {2048000, 1020000, -4000}, // folded by the first halving
        {250007, 40000, -8000},    // interpolated phases
        {120000, -36000, 12000},   // no halving: 120 kHz goes straight to the polyphase filter
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const auto count = static_cast<std::size_t>(0.4 * c.rate);
        Iq input = toneIq(5000, c.rate, count, 0.4);
        const Iq far = toneIq(c.farHz, c.rate, count, 0.4);
        for (std::size_t n = 0; n < count; ++n)
            input[n] += far[n];
        const Iq z = decimate(input, F::F32, c.rate, 0.0);
        ASSERT_GE(z.size(), 19200u);
        const double wanted = powerAt(z, 5000, 2400, 9600);
        EXPECT_LT(10.0 * std::log10(powerAt(z, c.foldsTo, 2400, 9600) / wanted), -60.0);
    }
}

// The level follows slowly (1 s in dB) and smoothly, and a sudden strong signal never clips.
TEST(IqInput, GainIsSlowSmoothAndNeverClips) {
    constexpr int kRate = 48000; // nothing to decimate: the gain alone
    const std::size_t third = 5 * kRate;
    Iq input = toneIq(3000, kRate, 3 * third, 1.0);
    for (std::size_t n = 0; n < input.size(); ++n)
        input[n] *= n < third ? 0.01 : n < 2 * third ? 0.001 : 0.1; // -20 dB, then +40 dB
    const Iq z = decimate(input, F::F32, kRate, 0.0);
    ASSERT_GE(z.size(), 3 * third);
    const auto rmsAt = [&](double seconds) {
        return std::sqrt(meanPower(z, static_cast<std::size_t>(seconds * kRate), 2400));
    };
    EXPECT_NEAR(rmsAt(0.5), 4000.0, 40.0); // the first sound sets the level at once
    EXPECT_LT(rmsAt(5.3), 1500.0);         // 20 dB less: about 730 after 0.3 s
    EXPECT_NEAR(rmsAt(9.5), 4000.0, 250.0);
    EXPECT_NEAR(rmsAt(14.5), 4000.0, 250.0); // 40 dB more, taken back
    int16_t peak = 0;
    double worstStep = 0.0; // from one sample's |z| to the next, where the input is steady
    for (std::size_t n = 1; n < z.size(); ++n) {
        peak = std::max<int16_t>(
            peak, static_cast<int16_t>(std::max(std::abs(z[n].real()), std::abs(z[n].imag()))));
        if (n != third && n < 2 * third)
            worstStep = std::max(worstStep, std::abs(std::abs(z[n]) / std::abs(z[n - 1]) - 1.0));
    }
    EXPECT_LE(peak, 30000);
    EXPECT_LT(worstStep, 0.01); // a step per block would be 24 %, rounding at 400 is 0.3 %
}

// FSK whose frequency steps 2400 Hz either side of a carrier gives audio of +-8000 (upper
// tone positive), and the carrier is measured, however loud and wherever within +-10 kHz.
TEST(IqDiscriminator, FullDeviationReads8000) {
    struct Case {
        double carrierHz, amplitude;
    } cases[] = {{0, 3000}, {9000, 3000}, {-9500, 3000}, {4000, 150}, {0, 30000}};
    constexpr int kHalf = 480; // samples per tone: the frequency squares at 50 Hz
    for (const auto& c : cases) {
        SCOPED_TRACE(c.carrierHz);
        IqDiscriminator disc;
        std::vector<int16_t> iq(kBlockWords), audio(kBlockWords);
        double phase = 0.0, upper = 0.0, lower = 0.0;
        int samples = 0;
        for (int block = 0; block < 10; ++block) {
            for (int k = 0; k < kBlockSamples; ++k) {
                const int n = block * kBlockSamples + k;
                iq[2 * k] = static_cast<int16_t>(std::lround(c.amplitude * std::cos(phase)));
                iq[2 * k + 1] = static_cast<int16_t>(std::lround(c.amplitude * std::sin(phase)));
                const bool up = ((n + kHalf / 2) / kHalf) % 2 == 0; // ends mid-tone
                phase = std::fmod(
                    phase + kTwoPi * (c.carrierHz + (up ? 2400 : -2400)) / kSampleRate, kTwoPi);
            }
            disc.process(iq.data(), audio.data());
            if (block < 5) continue; // settled
            for (int k = 0; k < kBlockSamples; ++k) {
                // Audio k belongs to the step into sample k + 1, 15 samples (the channel
                // filter) late; the middle 40 % of each tone.
                const int n = block * kBlockSamples + k - 15 + kHalf / 2;
                const int into = n % kHalf;
                if (into < 144 || into >= 336) continue;
                ((n / kHalf) % 2 == 0 ? upper : lower) += audio[2 * k];
                ++samples;
                EXPECT_EQ(audio[2 * k + 1], 0);
            }
        }
        EXPECT_NEAR((upper - lower) / samples, 8000.0, 120.0);
        EXPECT_NEAR(disc.carrierHz(), c.carrierHz, 60.0);
    }
}

// After a reset the discriminator gives what a new one gives: no filter history, no carrier.
TEST(IqDiscriminator, ResetEqualsNew) {
    const Iq tone = toneIq(9000, kSampleRate, kBlockSamples, 5000);
    std::vector<int16_t> iq(kBlockWords), silence(kBlockWords), used(kBlockWords),
        fresh(kBlockWords);
    for (int k = 0; k < kBlockSamples; ++k) {
        iq[2 * k] = static_cast<int16_t>(std::lround(tone[k].real()));
        iq[2 * k + 1] = static_cast<int16_t>(std::lround(tone[k].imag()));
    }
    IqDiscriminator disc, other;
    disc.process(iq.data(), used.data());
    disc.process(silence.data(), used.data()); // the carrier now lies between 0 and 9 kHz
    disc.reset();
    disc.process(iq.data(), used.data());
    other.process(iq.data(), fresh.data());
    EXPECT_EQ(used, fresh);
    EXPECT_EQ(disc.carrierHz(), other.carrierHz());
}

TEST(IqInput, BadInputIsNamed) {
    const std::string dir = scratchDir("iq-bad-input");
    std::string error;
    EXPECT_FALSE(openRawIq(0, {47999, F::U8, 0}, error));
    EXPECT_EQ(error, "I/Q sample rate 47999 Hz is not supported (48000 to 3200000 Hz)");
    EXPECT_FALSE(openRawIq(0, {3200001, F::U8, 0}, error));
    EXPECT_NE(error.find("48000 to 3200000 Hz"), std::string::npos);
    EXPECT_FALSE(openRawIq(0, {240000, F::U8, -105001}, error));
    EXPECT_NE(error.find("+-105000 Hz"), std::string::npos) << error;
    EXPECT_TRUE(openRawIq(0, {240000, F::U8, -105000}, error)) << error;

    struct Odd {
        F format;
        std::size_t bytes;
        const char* says;
    } odd[] = {
        {F::U8, 4801, "1 byte(s) left over (a u8 pair is 2 bytes)"},
        {F::S16, 9602, "2 byte(s) left over (a s16 pair is 4 bytes)"},
        {F::F32, 8 * 70000 + 7, "7 byte(s) left over (a f32 pair is 8 bytes)"},
    };
    for (const auto& o : odd) {
        const std::string path = dir + "/odd.raw";
        writeBytes(path, std::string(o.bytes, '\0'));
        auto source = openRawIqFile(path, {48000, o.format, 0}, error);
        ASSERT_TRUE(source) << error;
        const Iq z = drain(*source);
        EXPECT_EQ(z.size() % kBlockSamples, 0u);
        EXPECT_NE(source->error().find(o.says), std::string::npos) << source->error();
    }

    const std::string mono = dir + "/mono.wav";
    SF_INFO info{};
    info.samplerate = 96000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(mono.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const std::vector<int16_t> samples(9600, 100);
    sf_writef_short(file, samples.data(), 9600);
    sf_close(file);
    EXPECT_FALSE(openIqFile(mono, 0, error));
    EXPECT_EQ(error, mono + ": has 1 channel; I/Q needs two (left = I, right = Q)");
    EXPECT_FALSE(openIqFile(dir, 0, error));
    EXPECT_EQ(error, dir + ": is a folder, not a file");
}

} // namespace
} // namespace nimbo::test
