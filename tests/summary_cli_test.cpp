// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode's summary and progress line: exact counts on a flight with known losses, the
// JSON variant, nothing extra in a pipe, the progress line on a terminal only; and --help
// naming every exit status the program uses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "tests/tool_runner.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

// Three recordings end to end, 62 s in all (frames are 1 s each):
//   P1111111 frames 1..20 (pieces 0..19), then after a gap 26..33 (pieces 25..31, 0) with
//   the sensor block of frame 29 damaged: 28 of 33 heard, 27 whole, pieces 0..19 and
//   25..31 = 27 of 32;
//   P2222222 frames 100..132, all whole, pieces 0..31 and 0 again: complete.
const std::string& flightWav() {
    static const std::string path = [] {
        std::vector<int16_t> all;
        const auto append = [&](synth::SynthOptions o) {
            const auto pcm = synth::synthesize(o);
            all.insert(all.end(), pcm.begin(), pcm.end());
        };
        synth::SynthOptions a;
        a.serial = "P1111111";
        a.frames = 20;
        a.leadInSeconds = 0.5;
        append(a);
        synth::SynthOptions b;
        b.serial = "P1111111";
        b.frames = 8;
        b.firstFrameNumber = 26;
        b.firstCalIndex = 25;
        b.corruptFrame = 3;
        b.corruptBlock = 1; // sensor
        append(b);
        synth::SynthOptions c;
        c.serial = "P2222222";
        c.frames = 33;
        c.firstFrameNumber = 100;
        c.leadInSeconds = 0.5;
        append(c);
        const std::string wav = scratchDir("summary") + "/flight.wav";
        SF_INFO info{};
        info.samplerate = synth::kOutputSampleRate;
        info.channels = synth::kOutputChannels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(wav.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr);
        if (f) {
            sf_writef_short(f, all.data(), static_cast<sf_count_t>(all.size() / 2));
            sf_close(f);
        }
        return wav;
    }();
    return path;
}

const std::string kSummaryText =
    "nimbo-decode: P1111111 (RS92): frames 1 to 33, 27 of 33 whole, 0 repaired, calibration "
    "incomplete (27 of 32 pieces)\n"
    "nimbo-decode: P2222222 (RS92): frames 100 to 132, 33 of 33 whole, 0 repaired, "
    "calibration complete (32 of 32 pieces)\n";

// Runs a shell command line; $1, $2, ... are `args`.
RunResult shell(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runTool(argv);
}

// nimbo-decode with its stderr on a pseudo-terminal (stdout to /dev/null): what the
// terminal got, the line ends as the terminal turns them ("\r\n").
std::string onTerminal(const std::vector<std::string>& args) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    const int null = open("/dev/null", O_RDWR);
    std::vector<std::string> argv = {kDecodeExe};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = spawnTool(argv, null, null, slave);
    close(slave);
    close(null);
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) // EIO once it has gone
        got.append(buffer, static_cast<std::size_t>(n));
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << got;
    return got;
}

std::string terminalLines(std::string text) {
    return std::regex_replace(text, std::regex("\n"), "\r\n");
}

TEST(SummaryCli, ExactOnAFlightWithKnownLosses) {
    const RunResult text = runTool({kDecodeExe, "--summary", flightWav()});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.err, kSummaryText);

    // In a pipe it says nothing unless asked; asked, the lines come through the pipe.
    const RunResult quiet = shell("\"$@\" 2>&1 >/dev/null | cat", {kDecodeExe, flightWav()});
    EXPECT_EQ(quiet.out, "");
    const RunResult asked =
        shell("\"$@\" 2>&1 >/dev/null | cat", {kDecodeExe, flightWav(), "--summary", "text"});
    EXPECT_EQ(asked.out, kSummaryText);
}

TEST(SummaryCli, JsonObjectsEndStandardOutput) {
    const RunResult run = runTool({kDecodeExe, "--summary", "json", flightWav()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto lines = jsonLines(run.out);
    ASSERT_GE(lines.size(), 2u);
    for (std::size_t i = 0; i + 2 < lines.size(); ++i)
        EXPECT_TRUE(lines[i].contains("frame")) << lines[i];
    const nlohmann::json expected[] = {
        {{"type", "summary"},
         {"sonde", "RS92"},
         {"serial", "P1111111"},
         {"first_frame", 1},
         {"last_frame", 33},
         {"frames_whole", 27},
         {"frames_expected", 33},
         {"frames_repaired", 0},
         {"cal_pieces", 27},
         {"cal_total", 32},
         {"cal_complete", false}},
        {{"type", "summary"},
         {"sonde", "RS92"},
         {"serial", "P2222222"},
         {"first_frame", 100},
         {"last_frame", 132},
         {"frames_whole", 33},
         {"frames_expected", 33},
         {"frames_repaired", 0},
         {"cal_pieces", 32},
         {"cal_total", 32},
         {"cal_complete", true}},
    };
    EXPECT_EQ(lines[lines.size() - 2], expected[0]);
    EXPECT_EQ(lines.back(), expected[1]);
}

// Frames the weak receiver repaired are the lines with "corrected" above 0.
TEST(SummaryCli, RepairedFramesMatchTheLines) {
    const std::string wav = scratchDir("summary-weak") + "/noisy.wav";
    const RunResult made = runTool(
        {kSynthExe, "-n", "12", "--serial", "P3333333", "--ebn0", "10", "--seed", "3", "-o", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const RunResult run = runTool({kDecodeExe, "--weak", "--summary", "json", wav});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    long repaired = 0, whole = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i]["sonde_ok"]) continue;
        repaired += lines[i]["corrected"].get<int>() > 0;
        whole += lines[i]["sensor_ok"] && lines[i]["gps_ok"];
    }
    EXPECT_GT(repaired, 0); // the noise is there to make some
    EXPECT_EQ(lines.back()["frames_repaired"], repaired);
    EXPECT_EQ(lines.back()["frames_whole"], whole);
}

// The progress line: on a terminal for a file over a minute, rewritten in place and cleared
// before the summary; never for a short file and never in a pipe.
TEST(SummaryCli, ProgressOnATerminalOnly) {
    const std::string tty = onTerminal({flightWav()});
    const std::regex progress("\r *[0-9]+%  [0-9]+ frames");
    EXPECT_TRUE(std::regex_search(tty, progress)) << tty;
    EXPECT_NE(tty.find("\r\033[K" + terminalLines(kSummaryText)), std::string::npos) << tty;

    const std::string shortWav = scratchDir("summary-short") + "/short.wav";
    ASSERT_EQ(runTool({kSynthExe, "-n", "5", "--serial", "P4444444", "-o", shortWav}).exitCode, 0);
    const std::string shortTty = onTerminal({shortWav});
    EXPECT_EQ(shortTty.find('%'), std::string::npos) << shortTty;
    EXPECT_NE(shortTty.find("P4444444 (RS92)"), std::string::npos) << shortTty;

    const RunResult piped =
        shell("\"$@\" 2>&1 >/dev/null | cat", {kDecodeExe, flightWav(), "--summary"});
    EXPECT_EQ(piped.out.find('\r'), std::string::npos);
    EXPECT_EQ(piped.out.find('%'), std::string::npos);
}

// Every exit status the program defines is explained in --help, and no other.
TEST(SummaryCli, HelpListsEveryExitStatus) {
    const std::string source = readFile(std::string(NIMBO_SOURCE_DIR) + "/tools/nimbo_decode.cpp");
    std::set<int> used = {0};
    const std::regex constant("constexpr int kExit\\w+ = ([0-9]+);");
    for (auto it = std::sregex_iterator(source.begin(), source.end(), constant);
         it != std::sregex_iterator(); ++it)
        used.insert(std::stoi((*it)[1]));
    ASSERT_GE(used.size(), 4u) << "the exit statuses were not found in the source";
    const std::regex bareReturn("return [1-9][0-9]*;");
    EXPECT_FALSE(std::regex_search(source, bareReturn)) << "a status without its constant";

    const RunResult help = runTool({kDecodeExe, "--help"});
    const std::size_t section = help.out.find("Exit status:\n");
    ASSERT_NE(section, std::string::npos) << help.out;
    const std::string tail = help.out.substr(section);
    std::set<int> listed;
    const std::regex line("\n  ([0-9]+)  [a-z]");
    for (auto it = std::sregex_iterator(tail.begin(), tail.end(), line);
         it != std::sregex_iterator(); ++it)
        listed.insert(std::stoi((*it)[1]));
    EXPECT_EQ(listed, used) << tail;
}

} // namespace
} // namespace nimbo::test
