// SPDX-License-Identifier: GPL-3.0-or-later
// Sensitivity floors: how many noisy frames each receiver still decodes on each signal path,
// and the "corrected" count that only the weak-signal receiver's JSON lines carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "tests/tool_runner.h"

namespace nimbo::test {
namespace {

struct Level {
    bool weak; // nimbo-decode --weak
    bool ifPath;
    const char* ebn0; // dB, or "inf" for no noise
    int frames;       // sent
    int measured;     // frames with good sonde and sensor blocks, seed 1
    int floor;
};

void PrintTo(const Level& level, std::ostream* os) {
    *os << (level.weak ? "weak " : "") << (level.ifPath ? "IF" : "FM Det") << " at Eb/N0 "
        << level.ebn0;
}

class Sensitivity : public ::testing::TestWithParam<Level> {};

TEST_P(Sensitivity, DecodesAtLeastTheFloorAndNoMoreThanWasSent) {
    const Level& level = GetParam();
    const std::string wav = scratchDir("sensitivity") + "/signal.wav";
    std::vector<std::string> synth = {kSynthExe, "--ebn0", level.ebn0, "--seed", "1", "-o", wav};
    synth.insert(synth.end(), {"--frames", std::to_string(level.frames)});
    std::vector<std::string> decode = {kDecodeExe, wav};
    if (level.weak) decode.push_back("--weak");
    if (level.ifPath) {
        synth.push_back("--if");
        decode.push_back("--if");
    }
    const RunResult made = runTool(synth);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const RunResult run = runTool(decode);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    int good = 0;
    std::set<int> numbers;
    for (const auto& frame : jsonLines(run.out)) {
        // Only the weak-signal receiver repairs, so only its lines say how much.
        ASSERT_EQ(frame.contains("corrected"), level.weak);
        if (level.weak) {
            EXPECT_GE(frame["corrected"].get<int>(), 0);
        }
        if (frame["sonde_ok"] && frame["sensor_ok"]) {
            ++good;
            numbers.insert(frame["frame"].get<int>());
        }
    }
    EXPECT_GE(good, level.floor) << "lost sensitivity: measured " << level.measured;
    EXPECT_LE(good, level.frames) << "more frames decoded than were sent";
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(good)) << "a frame decoded twice";
}

std::string caseName(const ::testing::TestParamInfo<Level>& info) {
    std::string ebn0 = info.param.ebn0;
    std::replace(ebn0.begin(), ebn0.end(), '.', '_'); // 7.5 -> 7_5: test names have no dots
    return std::string(info.param.ifPath ? "If" : "FmDet") +
           (ebn0 == "inf" ? "Clean" : ebn0 + "dB");
}

// The signals are nimbo-synth's defaults: Gaussian-filtered pulses (BT 0.5), FM Det through
// the receiver model (noise on the RF, IF filter, discriminator), the IF with noise on the
// samples. Floors set a little below the seed-1 counts measured on 2026-12-08 with the AVX2
// kernels, when the first frame of a stream was still lost (the floors keep that frame of
// slack). A count below its floor means the path has lost sensitivity.
//
// The standard receiver, 100 frames: seeds 2 and 3 gave FM Det 99 99 / 99 98 / 95 94 / 66 63 /
// 19 18 and IF 100 100 / 99 99 / 95 97 / 82 89 / 46 60 at the same levels; it needs about
// 17 dB on FM Det and 15.5 dB on the IF for 90 %.
INSTANTIATE_TEST_SUITE_P(Floors, Sensitivity,
                         ::testing::Values(Level{false, false, "inf", 100, 99, 99},
                                           Level{false, false, "18", 100, 99, 96},
                                           Level{false, false, "17", 100, 97, 92},
                                           Level{false, false, "16", 100, 68, 60},
                                           Level{false, false, "15", 100, 18, 12},
                                           Level{false, true, "inf", 100, 100, 99},
                                           Level{false, true, "17", 100, 99, 96},
                                           Level{false, true, "16", 100, 91, 85},
                                           Level{false, true, "15", 100, 78, 70},
                                           Level{false, true, "14", 100, 45, 37}),
                         caseName);

// The weak-signal receiver, 40 frames: 40 frames x seeds 1..3 gave 90 % (content as sent) at
// about 10 dB on FM Det and 7.5 dB on the IF. At 9 dB on FM Det, clicks sized by their
// neighbours and a carrier reference nearer the bit across clicks (2026-12-09) took seed 1
// from 2 frames to 37 (the first alone: 26).
INSTANTIATE_TEST_SUITE_P(
    WeakFloors, Sensitivity,
    ::testing::Values(Level{true, false, "inf", 40, 40, 39}, Level{true, false, "12", 40, 40, 37},
                      Level{true, false, "11", 40, 39, 35}, Level{true, false, "10", 40, 35, 29},
                      Level{true, false, "9", 40, 37, 32}, Level{true, true, "inf", 40, 40, 39},
                      Level{true, true, "9", 40, 40, 37}, Level{true, true, "8", 40, 39, 35},
                      Level{true, true, "7.5", 40, 36, 30}),
    caseName);

} // namespace
} // namespace nimbo::test
