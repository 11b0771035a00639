// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode on good, odd and hostile input: decoded where it can be, otherwise one
// clear line on stderr and a non-zero status, never a crash.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <random>

#include "tests/tool_runner.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

constexpr int kRate = 48000;

// Writes `frames` interleaved frames of `pcm` (stereo) as `channels` channels.
void writeAudio(const std::string& path, const std::vector<int16_t>& stereo, int format,
                int channels, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    // Float files hold full scale as 1.0, as every audio program writes them.
    sf_command(f, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(stereo.size() / 2);
    if (channels == 2) {
        sf_writef_short(f, stereo.data(), frames);
    } else {
        std::vector<int16_t> mono(static_cast<std::size_t>(frames));
        for (sf_count_t i = 0; i < frames; ++i)
            mono[i] = stereo[2 * i];
        sf_writef_short(f, mono.data(), frames);
    }
    sf_close(f);
}

std::vector<int16_t> flight(int frames) {
    synth::SynthOptions options;
    options.frames = frames;
    options.serial = "Q1111111";
    return synth::synthesize(options);
}

int goodFrames(const std::string& out) {
    int good = 0;
    for (const auto& frame : jsonLines(out))
        if (frame["sonde_ok"] && frame["sensor_ok"] && frame["gps_ok"] &&
            frame["serial"] == "Q1111111")
            ++good;
    return good;
}

// Formats libsndfile converts to 16-bit on the way in all decode alike.
TEST(DecodeCli, ReadsOtherSampleFormatsAndMono) {
    const auto pcm = flight(4);
    const std::string dir = scratchDir("formats");
    struct Case {
        const char* name;
        int format;
        int channels;
    } cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2},
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2},
        {"flac.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/" + c.name;
        writeAudio(path, pcm, c.format, c.channels, kRate);
        const RunResult run = runTool({kDecodeExe, path});
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
        EXPECT_GE(goodFrames(run.out), 3) << c.name;
    }
}

// Raw PCM on stdin decodes like the same samples in a file, from the channel chosen.
TEST(DecodeCli, RawPcmOnStdin) {
    const auto pcm = flight(4);
    std::vector<int16_t> onRight(pcm.size(), 0); // the signal on the right, the left silent
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
        onRight[i + 1] = pcm[i];
    const struct {
        const std::vector<int16_t>& samples;
        std::vector<std::string> argv;
        bool decoded;
    } cases[] = {
        {pcm, {kDecodeExe, "-"}, true},
        {onRight, {kDecodeExe, "--right", "-"}, true},
        {onRight, {kDecodeExe, "-"}, false},
        {pcm, {kDecodeExe, "--right", "-"}, false},
    };
    const std::string path = scratchDir("raw") + "/signal.raw";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv[1] + (&c.samples == &pcm ? " signal left" : " signal right"));
        writeFile(path, std::string(reinterpret_cast<const char*>(c.samples.data()),
                                    c.samples.size() * sizeof(int16_t)));
        const RunResult run = runTool(c.argv, path);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const int good = goodFrames(run.out);
        EXPECT_TRUE(c.decoded ? good >= 3 : good == 0) << good << " good frames";
    }
    // A stream cut in the middle of a sample still ends cleanly.
    writeFile(path, std::string(reinterpret_cast<const char*>(pcm.data()), 19201 * 3));
    EXPECT_EQ(runTool({kDecodeExe, "-"}, path).exitCode, 0);
}

TEST(DecodeCli, BadInputGivesOneClearLineAndFailure) {
    const std::string dir = scratchDir("bad");
    const auto pcm = flight(2);
    writeAudio(dir + "/rate4k.wav", pcm, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 4000);
    writeAudio(dir + "/empty.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate);
    writeAudio(dir + "/full.wav", pcm, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate);
    const std::string full = readFile(dir + "/full.wav");
    writeFile(dir + "/truncated.wav", full.substr(0, full.size() / 2));
    // Cut short with the RIFF size mended, so only the data chunk's size tells.
    std::string cut = full.substr(0, full.size() / 2);
    const uint32_t riffSize = static_cast<uint32_t>(cut.size() - 8);
    for (int i = 0; i < 4; ++i)
        cut[4 + i] = static_cast<char>(riffSize >> (8 * i));
    writeFile(dir + "/data-too-long.wav", cut);
    writeFile(dir + "/header-only.wav", full.substr(0, 30));
    writeFile(dir + "/zero-bytes.wav", "");
    std::mt19937 rng(7);
    std::string noise(100000, '\0');
    for (char& ch : noise)
        ch = static_cast<char>(rng());
    writeFile(dir + "/random.wav", noise);
    writeFile(dir + "/text.txt", "this is not audio\n");

    struct Case {
        std::string path;
        const char* expect; // a fragment of the message
    } cases[] = {
        {dir + "/missing.wav", "missing.wav"},
        {dir + "/rate4k.wav", "4000"},
        {dir + "/data-too-long.wav", "truncated"},
        {dir + "/empty.wav", "no audio"},
        {dir + "/truncated.wav", "truncated"},
        {dir + "/header-only.wav", "header-only.wav"},
        {dir + "/zero-bytes.wav", "zero-bytes.wav"},
        {dir + "/random.wav", "random.wav"},
        {dir + "/text.txt", "text.txt"},
        {dir, "nimbo-decode"},
    };
    for (const auto& c : cases) {
        const RunResult run = runTool({kDecodeExe, c.path});
        EXPECT_GT(run.exitCode, 0) << c.path; // -1 would mean a crash
        EXPECT_NE(run.err.find(c.expect), std::string::npos) << c.path << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(DecodeCli, UsageErrors) {
    for (const auto& argv : std::vector<std::vector<std::string>>{
             {kDecodeExe}, {kDecodeExe, "--bogus", "x.wav"}, {kDecodeExe, "a.wav", "b.wav"}}) {
        const RunResult run = runTool(argv);
        EXPECT_GT(run.exitCode, 0);
        EXPECT_FALSE(run.err.empty());
    }
    const RunResult help = runTool({kDecodeExe, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--if"), std::string::npos);
}

} // namespace
} // namespace nimbo::test
