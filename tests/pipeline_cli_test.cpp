// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode where SDR pipelines and other tools feed it: files at other sample rates, raw
// mono, u8 and float streams on stdin, float WAV, FIFOs and process substitution, and a
// standard output that cannot be written. Every decoded frame is checked against the
// content nimbo-synth sent (--truth).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/tool_runner.h"

namespace nimbo::test {
namespace {

constexpr int kFrames = 6;

// A clean synthesised flight as a 48 kHz stereo WAV with the content of each frame sent.
struct Flight {
    std::string dir, wav;
    std::vector<std::string> truth; // frame n (0-based) carries frame number n + 1
};

const Flight& flight() {
    static const Flight f = [] {
        Flight made;
        made.dir = scratchDir("pipeline");
        made.wav = made.dir + "/flight.wav";
        const std::string truth = made.dir + "/truth.txt";
        const RunResult run = runTool({kSynthExe, "--flight", "-n", std::to_string(kFrames),
                                       "--serial", "P7654321", "--truth", truth, "-o", made.wav});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::istringstream lines(readFile(truth));
        for (std::string line; std::getline(lines, line);)
            made.truth.push_back(line);
        return made;
    }();
    return f;
}

std::string findSox() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string path = std::string(dir) + "/sox";
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// Runs a shell command line; $1, $2, ... are `args`.
RunResult shell(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runTool(argv);
}

// Frame numbers of the lines whose three blocks passed, each checked against what was sent.
std::vector<int> goodFrames(const std::string& out) {
    const auto& truth = flight().truth;
    std::vector<int> frames;
    for (const auto& line : jsonLines(out)) {
        if (!(line["sonde_ok"] && line["sensor_ok"] && line["gps_ok"])) continue;
        const int number = line["frame"].get<int>();
        EXPECT_TRUE(number >= 1 && number <= kFrames) << number;
        if (number < 1 || number > kFrames) continue;
        EXPECT_EQ(line["bytes"], truth[number - 1]) << "frame " << number;
        EXPECT_EQ(line["serial"], "P7654321");
        frames.push_back(number);
    }
    return frames;
}

// The frames after the first (the very first one of a stream may be missed).
std::vector<int> afterFirst(std::vector<int> frames) {
    if (!frames.empty() && frames.front() == 1) frames.erase(frames.begin());
    return frames;
}

// Every frame after the first, in order.
void expectEveryFrame(const std::vector<int>& frames, const std::string& what) {
    std::vector<int> expected;
    for (int n = 2; n <= kFrames; ++n)
        expected.push_back(n);
    EXPECT_EQ(afterFirst(frames), expected) << what;
}

class PipelineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        sox_ = findSox();
        if (sox_.empty()) GTEST_SKIP() << "sox is not installed";
        ASSERT_EQ(flight().truth.size(), static_cast<std::size_t>(kFrames));
    }
    // sox with the flight as its input and `args` after it.
    RunResult sox(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {sox_, flight().wav};
        argv.insert(argv.end(), args.begin(), args.end());
        return runTool(argv);
    }
    std::string sox_;
};

// Recordings at other rates are resampled to 48 kHz and give the frames of the original.
TEST_F(PipelineCli, FilesAtOtherRatesGiveTheSameFrames) {
    const RunResult original = runTool({kDecodeExe, flight().wav});
    ASSERT_EQ(original.exitCode, 0) << original.err;
    const std::vector<int> reference = goodFrames(original.out);
    expectEveryFrame(reference, "48 kHz");
    for (const char* rate : {"44100", "96000", "22050"}) {
        const std::string path = flight().dir + "/rate" + rate + ".wav";
        ASSERT_EQ(sox({"-r", rate, path}).exitCode, 0);
        const RunResult run = runTool({kDecodeExe, path});
        EXPECT_EQ(run.exitCode, 0) << rate << ": " << run.err;
        EXPECT_EQ(afterFirst(goodFrames(run.out)), afterFirst(reference)) << rate;
    }
}

// Only the channel listened to is resampled: it must be the right one, IF included.
TEST_F(PipelineCli, IfOnTheRightChannelAt44k) {
    const std::string wav = flight().dir + "/if-right.wav";
    const std::string wav44 = flight().dir + "/if-right-44k.wav";
    const RunResult made = runTool({kSynthExe, "--flight", "--if", "--right", "-n",
                                    std::to_string(kFrames), "--serial", "P7654321", "-o", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_EQ(runTool({sox_, wav, "-r", "44100", wav44}).exitCode, 0);
    const RunResult run = runTool({kDecodeExe, "--if", "--right", wav44});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    expectEveryFrame(goodFrames(run.out), "IF on the right at 44.1 kHz");
}

// What rtl_fm -M fm gives: mono signed 16-bit at the rate it was asked for.
TEST_F(PipelineCli, MonoS16OnStdinAtSdrRates) {
    for (const char* rate : {"22050", "24000", "44100", "96000", "48000"}) {
        const std::string path = flight().dir + "/mono" + rate + ".raw";
        ASSERT_EQ(sox({"-t", "raw", "-r", rate, "-c", "1", "-e", "signed", "-b", "16", path,
                       "remix", "1"})
                      .exitCode,
                  0);
        const RunResult run = runTool({kDecodeExe, "--rate", rate, "--channels", "1", "-"}, path);
        EXPECT_EQ(run.exitCode, 0) << rate << ": " << run.err;
        expectEveryFrame(goodFrames(run.out), std::string("mono at ") + rate);
    }
}

TEST_F(PipelineCli, U8AndF32OnStdin) {
    struct Case {
        std::vector<std::string> soxOut; // sox output options
        std::vector<std::string> decode; // nimbo-decode options
    } cases[] = {
        {{"-e", "unsigned", "-b", "8"}, {"--format", "u8"}},
        {{"-e", "floating-point", "-b", "32"}, {"--format", "f32"}},
        {{"-e", "floating-point", "-b", "32", "-r", "44100"},
         {"--format", "f32", "--rate", "44100"}},
        {{"-e", "floating-point", "-b", "32", "-c", "1"}, {"--format", "f32", "--channels", "1"}},
        {{"-e", "unsigned", "-b", "8", "-r", "24000", "-c", "1"},
         {"--format", "u8", "--rate", "24000", "--channels", "1"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = flight().dir + "/stream" + std::to_string(n++) + ".raw";
        std::vector<std::string> soxArgs = {"-t", "raw"};
        soxArgs.insert(soxArgs.end(), c.soxOut.begin(), c.soxOut.end());
        soxArgs.push_back(path);
        if (std::find(c.soxOut.begin(), c.soxOut.end(), "-c") != c.soxOut.end())
            soxArgs.insert(soxArgs.end(), {"remix", "1"});
        ASSERT_EQ(sox(soxArgs).exitCode, 0);
        std::vector<std::string> argv = {kDecodeExe};
        argv.insert(argv.end(), c.decode.begin(), c.decode.end());
        argv.push_back("-");
        const RunResult run = runTool(argv, path);
        EXPECT_EQ(run.exitCode, 0) << path << ": " << run.err;
        expectEveryFrame(goodFrames(run.out), c.decode[1]);
    }
}

// A float file stores full scale as 1.0; read as 16-bit without scaling it was silence.
TEST_F(PipelineCli, FloatFilesDecodeAsTheS16One) {
    const RunResult original = runTool({kDecodeExe, flight().wav});
    for (const char* name : {"float32.wav", "float64.wav", "float32.aiff"}) {
        const std::string path = flight().dir + "/" + name;
        const std::string bits = std::string(name).find("64") != std::string::npos ? "64" : "32";
        ASSERT_EQ(sox({"-e", "floating-point", "-b", bits, path}).exitCode, 0) << name;
        const RunResult run = runTool({kDecodeExe, path});
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.err;
        EXPECT_GE(goodFrames(run.out).size(), static_cast<std::size_t>(kFrames - 1)) << name;
        EXPECT_EQ(run.out, original.out) << name; // 16-bit samples survive a float file exactly
    }
}

// A stream can be read once: nothing may be taken from it before the decoder reads it, and
// a length it cannot know ahead is not a truncation.
TEST_F(PipelineCli, FifoProcessSubstitutionAndDevStdinReadWhole) {
    const RunResult original = runTool({kDecodeExe, flight().wav});
    const std::string fifo = flight().dir + "/audio.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string script;
    } cases[] = {
        {"fifo", "cat \"$2\" > \"$3\" & exec \"$1\" \"$3\""},
        {"process substitution", "exec bash -c 'exec \"$1\" <(cat \"$2\")' bash \"$1\" \"$2\""},
        {"/dev/stdin from a pipe", "cat \"$2\" | \"$1\" /dev/stdin"},
        {"/dev/stdin from the file", "exec \"$1\" /dev/stdin < \"$2\""},
        {"sox writing a WAV into a pipe", "sox \"$2\" -t wav - | \"$1\" /dev/stdin"},
        // sox cannot know this length: the header holds a placeholder
        {"a WAV of unknown length", "sox \"$2\" -t raw - | sox -V1 -t raw -r 48000 -c 2 -e signed "
                                    "-b 16 - -t wav - | \"$1\" /dev/stdin"},
    };
    for (const auto& c : cases) {
        const RunResult run = shell(c.script, {kDecodeExe, flight().wav, fifo});
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
        EXPECT_EQ(run.err, "") << c.name;
        EXPECT_EQ(run.out, original.out) << c.name;
    }
}

// Output that cannot be written is an error, not success: status 4 and one line on stderr.
// With logs the decoding goes on, so the logs still come out whole.
TEST_F(PipelineCli, UnwritableStdoutGivesStatus4) {
    const std::string logs = flight().dir + "/logs-full";
    const std::string expectedLogs = flight().dir + "/logs-ok";
    ASSERT_EQ(runTool({kDecodeExe, flight().wav, "--log-dir", expectedLogs}).exitCode, 0);
    struct Case {
        const char* name;
        std::vector<std::string> args;
    } cases[] = {
        {"file", {flight().wav}},
        {"file with logs", {flight().wav, "--log-dir", logs}},
        {"import", {"--import", expectedLogs + "/raw/P7654321.txt"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {kDecodeExe};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = shell("exec \"$@\" > /dev/full", args);
        EXPECT_EQ(run.exitCode, 4) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find("standard output"), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(readFile(logs + "/raw/P7654321.txt"), readFile(expectedLogs + "/raw/P7654321.txt"));
    EXPECT_FALSE(readFile(logs + "/raw/P7654321.txt").empty());

    // A reader that goes away (| head), with SIGPIPE as a shell leaves it: the same status and
    // line, and the logs still whole.
    const std::string piped = flight().dir + "/logs-piped", status = flight().dir + "/status";
    const RunResult run =
        shell("s=$1; shift; { env --default-signal=PIPE \"$@\"; echo $? > \"$s\"; } "
              "| head -c 1 > /dev/null",
              {status, kDecodeExe, flight().wav, "--log-dir", piped});
    EXPECT_EQ(readFile(status), "4\n") << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("standard output"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(piped + "/raw/P7654321.txt"), readFile(expectedLogs + "/raw/P7654321.txt"));
}

TEST(PipelineOptions, VersionAndRawOptionErrors) {
    const RunResult version = runTool({kDecodeExe, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    ASSERT_FALSE(version.out.empty());
    // "nimbo-decode MAJOR.MINOR.PATCH" and a line end, then the licence
    const std::string prefix = "nimbo-decode ";
    ASSERT_NE(version.out.find('\n'), std::string::npos) << version.out;
    const std::string first = version.out.substr(0, version.out.find('\n') + 1);
    const std::string number =
        first.substr(0, first.size() - 1).substr(std::min(prefix.size(), first.size()));
    EXPECT_EQ(first.rfind(prefix, 0), 0u) << version.out;
    EXPECT_EQ(first.back(), '\n');
    EXPECT_NE(version.out.find("License GPL-3.0-or-later"), std::string::npos) << version.out;
    EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << version.out;
    EXPECT_TRUE(!number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return c == '.' || (c >= '0' && c <= '9');
    })) << version.out;
    // Each says what was wrong in the option's own words.
    const struct {
        std::vector<std::string> args;
        const char* says;
    } bad[] = {
        {{"--rate", "7999", "-"}, "sample rate 7999 Hz is not supported"},
        {{"--rate", "768001", "-"}, "sample rate 768001 Hz is not supported"},
        {{"--rate", "fast", "-"}, "--rate: 'fast' is not a sample rate in Hz"},
        {{"--rate", "48000.5", "-"}, "--rate: '48000.5' is not a sample rate in Hz"},
        {{"--rate", "99999999999", "-"}, "--rate: '99999999999' is not a sample rate in Hz"},
        {{"--iq", "--rate", "1e6", "-"}, "--rate: '1e6' is not a sample rate in Hz"},
        {{"--channels", "3", "-"}, "--channels: '3' is not a channel count (1 or 2)"},
        {{"--channels", "0", "-"}, "--channels: '0' is not a channel count (1 or 2)"},
        {{"--channels", "two", "-"}, "--channels: 'two' is not a channel count (1 or 2)"},
        {{"--iq", "--offset", "far", "-"}, "--offset: 'far' is not an offset in Hz"},
        {{"--iq", "--offset", "nan", "-"}, "--offset: 'nan' is not an offset in Hz"},
        {{"--iq", "--offset", "1e6", "-"}, "offset 1000000 Hz is too far from the centre"},
        {{"--format", "s24", "-"}, "--format"},
        {{"--summary", "xml", "x.wav"}, "--summary: 'xml' is neither text nor json"},
        {{"--rate", "44100", "x.wav"}, "describe raw PCM on stdin"},
        {{"--format", "u8", "x.wav"}, "describe raw PCM on stdin"},
    };
    for (const auto& c : bad) {
        std::vector<std::string> argv = {kDecodeExe};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult run = runTool(argv);
        EXPECT_EQ(run.exitCode, 1) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("not in range"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// Noise in every raw format, NaN and infinities among the floats: decoded as nothing, no crash.
TEST(PipelineOptions, RandomBytesInEveryRawFormat) {
    const std::string path = scratchDir("random") + "/noise.raw";
    std::string noise(600000, '\0');
    uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    // A NaN every 64 bytes (the random floats hold infinities and huge values too).
    for (std::size_t i = 0; i + 4 <= noise.size(); i += 64)
        noise.replace(i, 4, "\xff\xff\xff\x7f");
    writeFile(path, noise);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--format", "f32", "--rate", "44100"},
             {"--format", "f32", "--channels", "1"},
             {"--format", "u8", "--rate", "8000", "--channels", "1"},
             {"--format", "s16", "--rate", "768000"}}) {
        std::vector<std::string> argv = {kDecodeExe};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("-");
        const RunResult run = runTool(argv, path);
        EXPECT_EQ(run.exitCode, 0) << args[1] << ": " << run.err;
    }
}

} // namespace
} // namespace nimbo::test
