// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode --iq end to end: FM Det flights from nimbo-synth turned into SDR I/Q at the
// usual rates, formats and offsets decode to exactly what was sent, with the described chain
// and, in noise and kHz off the offset, with the weak receiver; bad I/Q input gives one
// clear line and status 1.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <map>
#include <numeric>
#include <sstream>

#include "tests/iq_signal.h"
#include "tests/tool_runner.h"

namespace nimbo::test {
namespace {

constexpr int kFrames = 6;

struct Flight {
    std::string dir;
    std::vector<int16_t> stereo;    // 48 kHz FM Det audio, left channel used
    std::vector<std::string> truth; // frame n (0-based) carries frame number n + 1
};

const Flight& flight() {
    static const Flight made = [] {
        Flight f;
        f.dir = scratchDir("iq-cli");
        const std::string wav = f.dir + "/fm.wav", truth = f.dir + "/truth.txt";
        // A second of idle line first: the weak receiver's search has the carrier by frame 1.
        const RunResult run = runTool({kSynthExe, "-n", std::to_string(kFrames), "--serial",
                                       "I1234567", "--lead-in", "1", "--truth", truth, "-o", wav});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        SF_INFO info{};
        SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
        EXPECT_NE(file, nullptr);
        if (file) {
            f.stereo.resize(static_cast<std::size_t>(info.frames) * 2);
            sf_readf_short(file, f.stereo.data(), info.frames);
            sf_close(file);
        }
        std::istringstream lines(readFile(truth));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) f.truth.push_back(line);
        return f;
    }();
    return made;
}

// Frame numbers decoded whole with the bytes that were sent (a frame with other bytes fails).
std::vector<int> intactFrames(const std::string& out) {
    std::vector<int> numbers;
    for (const auto& line : jsonLines(out)) {
        if (!(line["sonde_ok"] && line["sensor_ok"] && line["gps_ok"])) continue;
        const int number = line["frame"].get<int>();
        if (number < 1 || number > kFrames) {
            ADD_FAILURE() << "frame number " << number << " was never sent";
            continue;
        }
        EXPECT_EQ(line["bytes"], flight().truth[number - 1]) << "frame " << number;
        numbers.push_back(number);
    }
    return numbers;
}

struct IqCase {
    const char* name;
    RawSampleFormat format;
    int rate;
    double sondeHz;  // where the signal is, from the centre
    double offsetHz; // what --offset says
    double amplitude;
    double noise;   // per part, in the format's units
    bool namedFile; // a named raw file instead of stdin
    bool weak = false;
};

// Noise per part that puts Eb/N0 (per data bit, 2400 bit/s) at `db` for a carrier of this
// amplitude sampled at `rate`: sigma^2 = A^2 rate / (2 x 2400 x 10^(db/10)).
double noiseFor(double amplitude, int rate, double db) {
    return amplitude * std::sqrt(rate / (2.0 * 2400.0 * std::pow(10.0, db / 10.0)));
}

// The weak receiver has every frame whole; the described chain may miss the first while its
// clock settles, as with audio.
void expectFrames(const std::vector<int>& got, bool weak) {
    if (weak) {
        std::vector<int> all(kFrames);
        std::iota(all.begin(), all.end(), 1);
        EXPECT_EQ(got, all);
        return;
    }
    EXPECT_GE(got.size(), static_cast<std::size_t>(kFrames - 1));
    EXPECT_EQ(got.empty() ? 0 : got.back(), kFrames);
}

TEST(IqCli, RawPairsAtSdrRatesDecodeEveryFrame) {
    using F = RawSampleFormat;
    const IqCase cases[] = {
        {"u8 240 kHz, tuned 20 kHz off", F::U8, 240000, 20000, 20000, 100, 3, false},
        {"u8 240 kHz, carrier 7 kHz from the offset", F::U8, 240000, 27000, 20000, 100, 3, false},
        {"s16 960 kHz file, -150 kHz", F::S16, 960000, -150000, -150000, 8000, 0, true},
        {"f32 2.048 MHz, 300 kHz, carrier 9.5 kHz below", F::F32, 2048000, 290500, 300000, 0.3,
         0.01, false},
        {"s16 250 kHz (no whole ratio), centred", F::S16, 250000, 0, 0, 3000, 0, false},
        {"u8 48 kHz, nothing to decimate", F::U8, 48000, -4000, 0, 90, 0, false},
        // Eb/N0 18.5 dB per data bit: noise variance per part A^2 Fs / (2 x 2400 x 10^1.85);
        // a discriminator on the whole +-16 kHz would click too often here (7 % of frames
        // at 18 dB), the narrow channel on the carrier decodes nearly all.
        {"s16 240 kHz at 18.5 dB, carrier 5 kHz off", F::S16, 240000, 25000, 20000, 8000, 6723,
         false},
        // The weak receiver on the carrier alone at 11 dB, wherever the search finds it:
        // u8 near its clipping (noise 40 counts per part), the carrier kHz from the offset.
        {"weak: u8 240 kHz at 11 dB, carrier 6 kHz above", F::U8, 240000, 26000, 20000, 20,
         noiseFor(20, 240000, 11), false, true},
        {"weak: s16 960 kHz file at 11 dB, carrier 9.5 kHz below", F::S16, 960000, -159500, -150000,
         2000, noiseFor(2000, 960000, 11), true, true},
        {"weak: f32 2.048 MHz at 11 dB, carrier 2.5 kHz above", F::F32, 2048000, 302500, 300000,
         0.1, noiseFor(0.1, 2048000, 11), false, true},
    };
    const Flight& f = flight();
    ASSERT_EQ(f.truth.size(), static_cast<std::size_t>(kFrames));
    for (const IqCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = f.dir + "/capture.raw";
        writeFile(path, rawIq(fmIq(f.stereo, c.rate, c.sondeHz, c.amplitude, c.noise), c.format));
        const char* format = c.format == F::U8 ? "u8" : c.format == F::S16 ? "s16" : "f32";
        std::vector<std::string> argv = {kDecodeExe, "--iq",
                                         "--format", format,
                                         "--rate",   std::to_string(c.rate),
                                         "--offset", std::to_string(c.offsetHz)};
        if (c.weak) argv.push_back("--weak");
        argv.push_back(c.namedFile ? path : "-");
        const RunResult run = runTool(argv, c.namedFile ? "" : path);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        expectFrames(intactFrames(run.out), c.weak);
    }
}

// Baseband recordings from SDR programs: two-channel audio files at their own rate.
TEST(IqCli, TwoChannelFilesAreIAndQ) {
    struct FileCase {
        const char* name;
        int format;
        int rate;
        double sondeHz, offsetHz;
        double noise = 0.0;
        bool weak = false;
    } cases[] = {
        {"float WAV at 44.1 kHz", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, -6000, 0},
        {"FLAC at 96 kHz, 20 kHz off", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 20000, 20000},
        {"s16 WAV at 192 kHz", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 192000, -50000, -52000},
        {"weak: float WAV at 96 kHz at 11 dB, carrier 7.5 kHz below",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 12500, 20000, noiseFor(0.25, 96000, 11), true},
    };
    const Flight& f = flight();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Iq z = fmIq(f.stereo, c.rate, c.sondeHz, 0.25, c.noise);
        std::vector<float> samples;
        for (const auto& s : z)
            samples.insert(samples.end(), {float(s.real()), float(s.imag())});
        const std::string path =
            f.dir + "/baseband." + (c.format & SF_FORMAT_FLAC ? "flac" : "wav");
        SF_INFO info{};
        info.samplerate = c.rate;
        info.channels = 2;
        info.format = c.format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(z.size()));
        sf_close(file);
        std::vector<std::string> argv = {kDecodeExe, "--iq", "--offset", std::to_string(c.offsetHz),
                                         path};
        if (c.weak) argv.insert(argv.begin() + 1, "--weak");
        const RunResult run = runTool(argv);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        expectFrames(intactFrames(run.out), c.weak);
    }
}

TEST(IqCli, BadInputSaysWhatIsWrong) {
    const std::string dir = scratchDir("iq-bad");
    const std::string odd = dir + "/odd.raw", mono = dir + "/mono.wav";
    writeFile(odd, std::string(4800 * 4 + 3, '\x10')); // s16 pairs and 3 stray bytes
    {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(mono.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        const std::vector<int16_t> silence(48000);
        sf_writef_short(file, silence.data(), 48000);
        sf_close(file);
    }
    struct Case {
        std::vector<std::string> args;
        std::string stdinPath;
        std::string says; // part of the one line on stderr
    } cases[] = {
        {{"--iq", "--rate", "50", "-"}, "", "48000 to 3200000 Hz"},
        {{"--iq", "--rate", "3200001", "-"}, "", "48000 to 3200000 Hz"},
        {{"--rate", "50", "-"}, "", "8000 to 768000 Hz"}, // audio keeps its own range
        {{"--iq", "--rate", "240000", "--offset", "110000", "-"}, "", "+-105000 Hz"},
        {{"--iq", "--offset", "-10000", "-"}, "", "+-9000 Hz"}, // 48 kHz by default
        {{"--iq", mono}, "", "I/Q needs two (left = I, right = Q)"},
        {{"--iq", "--format", "s16", "-"}, odd, "3 byte(s) left over (a s16 pair is 4 bytes)"},
        {{"--iq", "--format", "s16", "--rate", "48000", odd}, "", "3 byte(s) left over"},
        {{"--iq", "--format", "u8", "--rate", "240000", dir + "/none.cu8"}, "", "no such file"},
        {{"--offset", "100", "-"}, "", "--offset requires --iq"},
        {{"--iq", "--if", "-"}, "", "excludes"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kDecodeExe};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult run = runTool(argv, c.stdinPath);
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace nimbo::test
