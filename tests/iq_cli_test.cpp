// nimbo-decode --iq end to end: FM Det flights from nimbo-synth turned into SDR I/Q at the
// usual rates, formats and offsets decode to exactly what was sent; bad I/Q input gives one
// clear line and status 1.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <map>
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
        const RunResult run = runTool({kSynthExe, "-n", std::to_string(kFrames), "--serial",
                                       "I1234567", "--truth", truth, "-o", wav});
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
};

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
        argv.push_back(c.namedFile ? path : "-");
        const RunResult run = runTool(argv, c.namedFile ? "" : path);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::vector<int> got = intactFrames(run.out);
        // The first frame may go by while the receiver's clock settles, as with audio.
        EXPECT_GE(got.size(), static_cast<std::size_t>(kFrames - 1));
        EXPECT_EQ(got.empty() ? 0 : got.back(), kFrames);
    }
}

// Baseband recordings from SDR programs: two-channel audio files at their own rate.
TEST(IqCli, TwoChannelFilesAreIAndQ) {
    struct FileCase {
        const char* name;
        int format;
        int rate;
        double sondeHz, offsetHz;
    } cases[] = {
        {"float WAV at 44.1 kHz", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, -6000, 0},
        {"FLAC at 96 kHz, 20 kHz off", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 20000, 20000},
        {"s16 WAV at 192 kHz", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 192000, -50000, -52000},
    };
    const Flight& f = flight();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Iq z = fmIq(f.stereo, c.rate, c.sondeHz, 0.25);
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
        const RunResult run =
            runTool({kDecodeExe, "--iq", "--offset", std::to_string(c.offsetHz), path});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_GE(intactFrames(run.out).size(), static_cast<std::size_t>(kFrames - 1));
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
