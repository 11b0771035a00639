// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode --import: a raw frame log that nimbo-decode wrote while decoding audio,
// replayed, gives the same JSON lines and, logged again, the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/tool_runner.h"

namespace nimbo::test {
namespace {

TEST(ImportCli, ReplayedLogMatchesTheAudioDecodeAndLogsTheSame) {
    const std::string dir = scratchDir("import-cli");
    const std::string wav = dir + "/flight.wav";
    ASSERT_EQ(runTool({kSynthExe, "--flight", "--frames", "40", "--serial", "Q1111111", "-o", wav})
                  .exitCode,
              0);
    const RunResult live = runTool({kDecodeExe, wav, "--log-dir", dir + "/live"});
    ASSERT_EQ(live.exitCode, 0) << live.err;
    const RunResult replay = runTool(
        {kDecodeExe, "--import", dir + "/live/raw/Q1111111.txt", "--log-dir", dir + "/again"});
    ASSERT_EQ(replay.exitCode, 0) << replay.err;

    // The log holds the frames whose sonde and sensor blocks passed.
    std::vector<nlohmann::json> logged;
    for (const auto& frame : jsonLines(live.out))
        if (frame["sonde_ok"] && frame["sensor_ok"]) logged.push_back(frame);
    ASSERT_GE(logged.size(), 38u);
    EXPECT_TRUE(jsonLines(replay.out) == logged);
    for (const char* file : {"/raw/Q1111111.txt", "/sens/Q1111111.csv", "/caldata/Q1111111.txt",
                             "/calraw/Q1111111.txt"})
        EXPECT_EQ(readFile(dir + "/again" + file), readFile(dir + "/live" + file)) << file;
}

// What cannot be read as a log is status 1 with one line on standard error, and no frames.
TEST(ImportCli, UnreadableLogIsStatusOneWithOneLine) {
    const std::string dir = scratchDir("import-cli-unreadable");
    std::vector<std::string> paths = {dir + "/missing.txt", dir};
    // A sysfs file whose read fails (EIO) after it opened, where the machine has one.
    const std::string sysfs = "/sys/devices/software/power/autosuspend_delay_ms";
    if (std::FILE* f = std::fopen(sysfs.c_str(), "rb")) {
        char c;
        if (std::fread(&c, 1, 1, f) == 0 && std::ferror(f)) paths.push_back(sysfs);
        std::fclose(f);
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const RunResult r = runTool({kDecodeExe, "--import", path});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace nimbo::test
