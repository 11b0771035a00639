// SPDX-License-Identifier: GPL-3.0-or-later
// Audio files into 48 kHz blocks: every sample where it belongs, at 48 kHz and resampled.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <type_traits>
#include <vector>

#include "audio/audio_input.h"
#include "dsp/signal.h"
#include "tests/scratch_dir.h"

namespace {

// A left sample that differs from its neighbours and from the right one: any sample read
// twice, skipped or taken from the wrong channel shows.
int16_t leftAt(int i) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(i) * 7919u));
}
int16_t rightAt(int i) {
    return static_cast<int16_t>(-1 - leftAt(i));
}

// Frames of the file in the block layout: 48 kHz stereo, one lane copied to both sides.
std::vector<int16_t> readBlocks(const std::string& path, int channel) {
    std::string error;
    auto source = nimbo::openAudioFile(path, error, channel);
    EXPECT_TRUE(source) << error;
    std::vector<int16_t> all;
    std::vector<int16_t> block(nimbo::kBlockWords);
    // A bound, so that a source that never ends fails instead of filling the memory.
    for (int n = 0; source && n < 1000 && source->next(block.data()); ++n)
        all.insert(all.end(), block.begin(), block.end());
    if (source) {
        EXPECT_EQ(source->error(), "");
    }
    return all;
}

// Writes the samples as they are: 16-bit values shifted to the file's integer size,
// floats stored unchanged.
template <typename T>
std::string writeFile(const std::string& path, int format, int channels, int rate,
                      const std::vector<T>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_TRUE(f) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(samples.size() / channels);
    if constexpr (std::is_same_v<T, float>)
        sf_writef_float(f, samples.data(), frames);
    else
        sf_writef_short(f, samples.data(), frames);
    sf_close(f);
    return path;
}

// Over a megabyte, and not a whole number of blocks: the file is read in several large
// pieces and the last block is part silence.
constexpr int kFrames = 300'007;

TEST(AudioBlocks, EverySampleOfA48kFileArrivesOnceInItsPlace) {
    const std::string dir = nimbo::test::scratchDir("audio-blocks");
    struct Case {
        const char* name;
        int format;
        int channels;
        int channel; // listened to
        int bits;    // sample resolution in the file
    };
    const Case cases[] = {
        {"s16 stereo, both", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, nimbo::kBothChannels, 16},
        {"s16 stereo, left", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0, 16},
        {"s16 stereo, right", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1, 16},
        {"s16 mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, nimbo::kBothChannels, 16},
        {"u8 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, nimbo::kBothChannels, 8},
        {"s24 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, nimbo::kBothChannels, 16},
        {"float mono", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 0, 16},
        {"flac s16 stereo, right", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 1, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Values the file holds exactly, as fractions of full scale.
        const int drop = 16 - c.bits;
        auto exact = [&](int16_t v) { return static_cast<int16_t>(v >> drop << drop); };
        std::vector<int16_t> samples;
        for (int i = 0; i < kFrames; ++i) {
            samples.push_back(exact(leftAt(i)));
            if (c.channels == 2) samples.push_back(exact(rightAt(i)));
        }
        std::vector<float> floats;
        for (int16_t v : samples)
            floats.push_back(v / 32768.0f);
        const std::string path =
            (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT
                ? writeFile(dir + "/f.wav", c.format, c.channels, nimbo::kSampleRate, floats)
                : writeFile(dir + "/f.wav", c.format, c.channels, nimbo::kSampleRate, samples);
        const std::vector<int16_t> got = readBlocks(path, c.channel);
        const std::size_t blocks = (kFrames + nimbo::kBlockSamples - 1) / nimbo::kBlockSamples;
        ASSERT_EQ(got.size(), blocks * nimbo::kBlockWords);
        int wrong = 0;
        for (int i = 0; i < kFrames && wrong < 5; ++i) {
            const int16_t left = exact(leftAt(i)), right = exact(rightAt(i));
            int16_t wantLeft = left, wantRight = right;
            if (c.channels == 1 || c.channel == 0) wantRight = left;
            if (c.channels == 2 && c.channel == 1) wantLeft = wantRight = right;
            if (got[2 * i] != wantLeft || got[2 * i + 1] != wantRight) {
                ADD_FAILURE() << "frame " << i << ": " << got[2 * i] << "," << got[2 * i + 1]
                              << " instead of " << wantLeft << "," << wantRight;
                ++wrong;
            }
        }
        for (std::size_t i = 2 * kFrames; i < got.size(); ++i)
            ASSERT_EQ(got[i], 0) << "padding word " << i;
    }
}

// NaN and infinities in a float file (a recorder or filter gone wrong) arrive as silence in
// their places, and spoil nothing around them, resampled or not: the blocks are those of the
// same file with zeros there.
TEST(AudioBlocks, NanAndInfinityInAFloatFileAreSilence) {
    const std::string dir = nimbo::test::scratchDir("audio-nan");
    const int bad[] = {1000, 1001, 1002, 7000};
    const float values[] = {NAN, INFINITY, -INFINITY, -NAN};
    for (const int rate : {nimbo::kSampleRate, 44100}) {
        SCOPED_TRACE(rate);
        std::vector<float> clean(20000), broken;
        for (std::size_t i = 0; i < clean.size(); ++i)
            clean[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000 * i / rate));
        for (const int i : bad)
            clean[i] = 0.0f;
        broken = clean;
        for (std::size_t k = 0; k < std::size(bad); ++k)
            broken[bad[k]] = values[k];
        const auto blocks = [&](const std::vector<float>& samples) {
            return readBlocks(
                writeFile(dir + "/f.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, rate, samples), 0);
        };
        const std::vector<int16_t> want = blocks(clean), got = blocks(broken);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
}

// A 1 kHz tone recorded at other rates comes out as the same tone sampled at 48 kHz: in
// time (the resampler's delay taken out), at its level, on the channel chosen.
TEST(AudioBlocks, ResampledToneMatchesTheToneAt48k) {
    const std::string dir = nimbo::test::scratchDir("audio-resample");
    const double amplitude = 0.5, hz = 1000.0;
    for (const int rate : {44100, 22050, 96000}) {
        for (const int format : {SF_FORMAT_PCM_16, SF_FORMAT_FLOAT}) {
            SCOPED_TRACE(std::to_string(rate) + (format == SF_FORMAT_FLOAT ? " float" : " s16"));
            std::vector<float> floats;
            std::vector<int16_t> shorts;
            for (int i = 0; i < rate; ++i) { // one second; silence on the left
                const double x = amplitude * std::sin(2 * std::numbers::pi * hz * i / rate);
                floats.insert(floats.end(), {0.0f, static_cast<float>(x)});
                shorts.insert(shorts.end(), {0, static_cast<int16_t>(std::lround(32768 * x))});
            }
            const std::string path =
                format == SF_FORMAT_FLOAT
                    ? writeFile(dir + "/tone.wav", SF_FORMAT_WAV | format, 2, rate, floats)
                    : writeFile(dir + "/tone.wav", SF_FORMAT_WAV | format, 2, rate, shorts);
            const std::vector<int16_t> got = readBlocks(path, 1);
            ASSERT_EQ(got.size(), 10u * nimbo::kBlockWords);
            double worst = 0;
            // Away from the ends, where the filter sees the tone start and stop.
            for (int i = 480; i < nimbo::kSampleRate - 480; ++i) {
                const double want = 32768 * amplitude *
                                    std::sin(2 * std::numbers::pi * hz * i / nimbo::kSampleRate);
                worst = std::max(worst, std::abs(got[2 * i] - want));
                ASSERT_EQ(got[2 * i], got[2 * i + 1]);
            }
            EXPECT_LT(worst, 3.0); // a 16-bit tone, rounded twice
        }
    }
}

} // namespace
