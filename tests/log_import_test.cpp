// SPDX-License-Identifier: GPL-3.0-or-later
// The replay of raw frame logs: which lines count (digits of either case), the chart's
// steps per frame number, and the file's end as it was when the replay began.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/log_import.h"
#include "tests/scratch_dir.h"
#include "tests/test_frame.h"

namespace nimbo {
namespace {

// A frame as this program logs it: 659 characters, upper-case digits.
std::string logLine(const Frame& f) {
    std::string line;
    char digits[4];
    for (int i = 0; i < kFrameBytes; ++i) {
        std::snprintf(digits, sizeof digits, i ? ",%02X" : "%02X", f.b[i]);
        line += digits;
    }
    return line;
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Frame numbered(unsigned n, bool sensorOk = true) {
    Frame f;
    f.setU16(32, n);
    f.seal(true, sensorOk);
    return f;
}

std::string writeLog(const std::string& name, const std::string& text) {
    const std::string path = test::scratchDir("import") + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Replays the whole file; the frame numbers of the lines that were decoded.
std::vector<int> replay(NimboCore& core, const std::string& path) {
    LogImport import(core);
    EXPECT_TRUE(import.open(path));
    std::vector<int> numbers;
    for (LogImport::Step s; (s = import.step()) != LogImport::Step::End;)
        if (s == LogImport::Step::Frame) numbers.push_back(import.frameNumber());
    return numbers;
}

TEST(LogImport, OnlyWholeFrameLinesAreDecoded) {
    const std::string frame = logLine(numbered(7));
    std::string oneBadDigit = frame, spaced = frame;
    oneBadDigit[3 * 150 + 1] = 'g';
    for (std::size_t i = 2; i < spaced.size(); i += 3)
        spaced[i] = ' ';
    const std::string text = "FrameNo,Temp,Humd1\r\n" + frame + "\r\n" // CR LF: taken
                             + lower(logLine(numbered(0xAB))) + "\n"   // LF, lower case
                             + frame.substr(1) + "\r\n"                // 658 characters
                             + frame + "0\n"                           // 660 characters
                             + std::string(1024, 'x') + frame + "\r\n" // tail of a long line
                             + std::string(1023, 'x') + frame +
                             "\r\n"                          // a tail that is a frame line
                             + logLine(numbered(8)) + "\r\n" // right after a tail: taken
                             + std::string(kLogLineChars, 'z') + "\r\n" // junk, 659 characters
                             + oneBadDigit + "\r\n" + spaced + "\r\n"   // not the log's format
                             + "\r\n" + logLine(numbered(9)) + "\r\n" + frame; // no line end
    NimboCore core;
    EXPECT_EQ(replay(core, writeLog("mixed.txt", text)), (std::vector<int>{7, 0xAB, 8, 9}));
    EXPECT_STREQ(core.readout().Label12.data(), "Frame : 9"); // its checks passed

    // Lower-case digits spell the same bytes: all three blocks pass their checks.
    NimboCore lowerCase;
    EXPECT_EQ(replay(lowerCase, writeLog("lower.txt", lower(logLine(numbered(0xAB))) + "\n")),
              std::vector<int>{0xAB});
    EXPECT_TRUE(lowerCase.frame().sondeBlockOk);
    EXPECT_TRUE(lowerCase.frame().sensorBlockOk);
    EXPECT_TRUE(lowerCase.frame().gpsBlockOk);
}

TEST(LogImport, ChartStepsOncePerFrameNumberAndDisarmsAcrossGaps) {
    constexpr int kChartSteps = 518 * 6; // design height, 6 steps a row
    struct Case {
        std::vector<unsigned> numbers;
        bool lastSensorOk;
        int steps;
        bool armedAfter;
    };
    const Case cases[] = {
        {{100, 101, 105}, true, 1 + 1 + 3 + 1, true}, // 102..104 disarmed, 105 re-arms
        {{100, 101, 105}, false, 6, false},           // nothing re-arms after the gap
        {{100, 101, 90, 91}, true, 4, true},          // backwards: no gap steps
        {{100, 100}, true, 2, true},
        {{1, 60001}, true, 1 + kChartSteps + 1, true}, // a long gap blanks the chart once
    };
    for (const Case& c : cases) {
        std::string text;
        for (size_t i = 0; i < c.numbers.size(); ++i)
            text += logLine(numbered(c.numbers[i], c.lastSensorOk || i + 1 < c.numbers.size())) +
                    "\r\n";
        NimboCore core;
        const unsigned before = core.graph().graphShowCount();
        replay(core, writeLog("gap.txt", text));
        EXPECT_EQ(core.graph().graphShowCount() - before, unsigned(c.steps)) << c.numbers.back();
        EXPECT_EQ(core.graph().graphArmed(), c.armedAfter) << c.numbers.back();
    }
}

TEST(LogImport, ReadsTheFileAsItWasWhenOpened) {
    // Logging into the log being replayed must not make the replay endless.
    const std::string path = writeLog("growing.txt", logLine(numbered(1)) + "\r\n");
    NimboCore core;
    LogImport import(core);
    ASSERT_TRUE(import.open(path));
    std::ofstream(path, std::ios::binary | std::ios::app) << logLine(numbered(2)) << "\r\n";
    EXPECT_EQ(import.step(), LogImport::Step::Frame);
    EXPECT_EQ(import.step(), LogImport::Step::End);
    EXPECT_EQ(import.frameNumber(), 1);
}

} // namespace
} // namespace nimbo
