// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode's summary and progress line on a flight with known losses: exact counts, the
// JSON variant, nothing extra in a pipe, progress on a terminal only; --help naming every
// exit status the program uses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "tests/tool_runner.h"

namespace nimbo::test {
namespace {

// Three recordings end to end, 62 s (a frame a second):
//   P1111111 frames 1..20 (pieces 0..19), a gap, 26..33 (pieces 25..31, 0), the sensor block
//   of frame 29 damaged: 33 expected, 28 heard, 27 whole, pieces 0..19, 25..31: 27 of 32;
//   P2222222 frames 100..132 whole, pieces 0..31 and 0 again: complete.
const std::string& flightWav() {
    static const std::string wav = [] {
        const std::string dir = scratchDir("summary");
        const std::vector<std::vector<std::string>> parts = {
            {"-n", "20", "--serial", "P1111111", "--lead-in", "0.5"},
            {"-n", "8", "--serial", "P1111111", "--first-frame", "26", "--first-piece", "25",
             "--corrupt", "3:sensor"},
            {"-n", "33", "--serial", "P2222222", "--first-frame", "100", "--lead-in", "0.5"}};
        std::string pcm;
        for (std::vector<std::string> argv : parts) {
            argv.insert(argv.begin(), kSynthExe);
            argv.insert(argv.end(), {"-o", "-"});
            pcm += runTool(argv).out; // raw 48 kHz stereo s16
        }
        // A 44-byte WAV header: PCM, 2 channels, 48000 Hz, 16 bits, little-endian fields.
        const char fields[] = "RIFF....WAVEfmt \x10\0\0\0\1\0\2\0\x80\xBB\0\0\0\xEE\2\0"
                              "\4\0\x10\0data....";
        std::string header(fields, 44);
        for (const auto& [at, value] : {std::pair{4u, pcm.size() + 36}, {40u, pcm.size()}})
            for (unsigned i = 0; i < 4; ++i)
                header[at + i] = static_cast<char>(value >> (8 * i));
        writeFile(dir + "/flight.wav", header + pcm);
        return dir + "/flight.wav";
    }();
    return wav;
}

RunResult decode(const std::string& script, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv = {"/bin/sh", "-c", script, "sh", kDecodeExe, flightWav()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runTool(argv);
}

const std::string kText =
    "nimbo-decode: P1111111 (RS92): frames 1 to 33, 27 of 33 whole, 0 repaired, calibration "
    "incomplete (27 of 32 pieces)\n"
    "nimbo-decode: P2222222 (RS92): frames 100 to 132, 33 of 33 whole, 0 repaired, "
    "calibration complete (32 of 32 pieces)\n";
const char* const kPipe = "d=$1 f=$2; shift 2; \"$d\" \"$f\" \"$@\" 2>&1 >/dev/null | cat";

TEST(SummaryCli, ExactOnAFlightWithKnownLosses) {
    EXPECT_EQ(decode(kPipe, {"--summary"}).out, kText);
    EXPECT_EQ(decode(kPipe).out, ""); // a pipe stays quiet unless asked
    // The weak receiver's Reed-Solomon repair undoes the damage to frame 29 (the parity was
    // made before it): 28 whole, 1 repaired.
    EXPECT_EQ(decode(kPipe, {"--weak", "--summary"}).out,
              std::regex_replace(kText, std::regex("27 of 33 whole, 0"), "28 of 33 whole, 1"));

    const RunResult json = decode("\"$1\" --summary json \"$2\"");
    EXPECT_EQ(json.err, "");
    const auto lines = jsonLines(json.out);
    ASSERT_EQ(lines.size(), 28u + 33u + 2u);
    EXPECT_EQ(lines[61], nlohmann::json::parse(
                             R"({"type":"summary","sonde":"RS92","serial":"P1111111",
        "first_frame":1,"last_frame":33,"frames_whole":27,"frames_expected":33,
        "frames_repaired":0,"cal_pieces":27,"cal_total":32,"cal_complete":false})"));
    EXPECT_EQ(lines[62], nlohmann::json::parse(
                             R"({"type":"summary","sonde":"RS92","serial":"P2222222",
        "first_frame":100,"last_frame":132,"frames_whole":33,"frames_expected":33,
        "frames_repaired":0,"cal_pieces":32,"cal_total":32,"cal_complete":true})"));
}

// nimbo-decode FILE with stderr on a pseudo-terminal: what the terminal got ("\r\n" ends).
std::string onTerminal(const std::string& path) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    const int null = open("/dev/null", O_RDWR);
    const pid_t pid = spawnTool({kDecodeExe, path}, null, null, slave);
    close(slave);
    close(null);
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) // EIO once it has gone
        got.append(buffer, static_cast<std::size_t>(n));
    close(master);
    waitpid(pid, nullptr, 0);
    return got;
}

// The progress line on a terminal for a file over a minute, cleared before the summary;
// not for a shorter file, never in a pipe.
TEST(SummaryCli, ProgressOnATerminalOnly) {
    const std::string tty = onTerminal(flightWav());
    EXPECT_TRUE(std::regex_search(tty, std::regex("\r *[0-9]+%  [0-9]+ frames"))) << tty;
    EXPECT_NE(tty.find("\r\033[K" + std::regex_replace(kText, std::regex("\n"), "\r\n")),
              std::string::npos)
        << tty;
    const std::string shortWav = scratchDir("summary-short") + "/short.wav";
    ASSERT_EQ(runTool({kSynthExe, "-n", "5", "--serial", "P4444444", "-o", shortWav}).exitCode, 0);
    const std::string shortTty = onTerminal(shortWav);
    EXPECT_EQ(shortTty.find('%'), std::string::npos) << shortTty;
    EXPECT_NE(shortTty.find("P4444444 (RS92)"), std::string::npos) << shortTty;
    EXPECT_EQ(decode(kPipe, {"--summary"}).out.find('%'), std::string::npos);
}

// Every exit status the program defines is explained in --help, and no other.
TEST(SummaryCli, HelpListsEveryExitStatus) {
    const std::string tools = std::string(NIMBO_SOURCE_DIR) + "/tools/";
    const std::string source = readFile(tools + "nimbo_decode.cpp") +
                               readFile(tools + "decode_output.h") +
                               readFile(tools + "decode_output.cpp");
    std::set<int> used = {0}, listed;
    const std::regex constant("constexpr int kExit\\w+ = ([0-9]+);");
    for (std::sregex_iterator it(source.begin(), source.end(), constant), end; it != end; ++it)
        used.insert(std::stoi((*it)[1]));
    EXPECT_FALSE(std::regex_search(source, std::regex("return [1-9][0-9]*;")));
    const std::string help = runTool({kDecodeExe, "--help"}).out;
    const std::size_t section = help.find("Exit status:\n");
    ASSERT_NE(section, std::string::npos) << help;
    const std::regex line("\n  ([0-9]+)  [a-z]");
    for (std::sregex_iterator it(help.begin() + section, help.end(), line), end; it != end; ++it)
        listed.insert(std::stoi((*it)[1]));
    EXPECT_GE(used.size(), 4u);
    EXPECT_EQ(listed, used);
}

} // namespace
} // namespace nimbo::test
