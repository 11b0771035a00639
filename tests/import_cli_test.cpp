// nimbo-decode --import: a raw frame log that nimbo-decode wrote while decoding audio,
// replayed, gives the same JSON lines and, logged again, the same files.
#include <gtest/gtest.h>

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
    EXPECT_NE(runTool({kDecodeExe, "--import", dir + "/missing.txt"}).exitCode, 0);
    for (const char* file : {"/raw/Q1111111.txt", "/sens/Q1111111.csv", "/caldata/Q1111111.txt",
                             "/calraw/Q1111111.txt"})
        EXPECT_EQ(readFile(dir + "/again" + file), readFile(dir + "/live" + file)) << file;
}

} // namespace
} // namespace nimbo::test
