// SPDX-License-Identifier: GPL-3.0-or-later
// Raw, sensor and calibration files the core writes, and what happens when they cannot be.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/nimbo_core.h"
#include "decode/log_files.h"
#include "tests/file_size_limit.h"
#include "tests/log_scratch.h"
#include "tests/test_frame.h"

namespace nimbo {
namespace {
namespace fs = std::filesystem;
using test::FileSizeLimit;
using test::freshFolder;
using test::slurp;

class Logging : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = freshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        core.setProgramFolder(dir.string());
        core.loggingSwitched(true);
    }
    fs::path dir;
    NimboCore core;
};

TEST_F(Logging, GoodFrameWritesRawAndSensorLinesExactly) {
    Frame f;
    f.b[0] = 0xAB;
    f.b[100] = 0x0F;
    decode(core, f.seal());
    const std::string raw = slurp(dir / "raw" / "K1234567.txt");
    ASSERT_EQ(raw.size(), 659u + 2);
    EXPECT_EQ(raw.substr(0, 9), "AB,00,00,");
    EXPECT_EQ(raw.substr(3 * 32, 6), "E8,03,"); // frame number 1000, low byte first
    EXPECT_EQ(raw.substr(3 * 100, 3), "0F,");
    const char* digits = "0123456789ABCDEF";
    const std::string last = {digits[f.b[218] >> 4],
                              digits[f.b[218] & 15],
                              ',',
                              digits[f.b[219] >> 4],
                              digits[f.b[219] & 15],
                              '\r',
                              '\n'};
    EXPECT_EQ(raw.substr(raw.size() - 7), last);
    for (std::size_t i = 2; i < 659; i += 3)
        EXPECT_EQ(raw[i], ',') << i;
    EXPECT_EQ(slurp(dir / "sens" / "K1234567.csv"),
              "FrameNo,Temp,Humd1,Humd2,Ref,Ref,Press,Ref,Ref\r\n"
              "1000,700,1100,1450,1200,1200,200,100,300\r\n");
}

TEST_F(Logging, OnlyFramesWithGoodSondeAndSensorBlocksAreLogged) {
    Frame f;
    decode(core, f.seal(true, false, true)); // sensor bad: nothing
    decode(core, f.seal(false, true, true)); // sonde bad: nothing
    EXPECT_FALSE(fs::exists(dir / "raw" / "K1234567.txt"));
    EXPECT_FALSE(fs::exists(dir / "sens" / "K1234567.csv"));
    f.setU16(32, 1001);
    decode(core, f.seal(true, true, false)); // GPS bad: logged, bad bytes and all
    const std::string raw = slurp(dir / "raw" / "K1234567.txt");
    EXPECT_EQ(raw.substr(3 * 32, 6), "E9,03,");
    EXPECT_NE(slurp(dir / "sens" / "K1234567.csv").find("\r\n1001,"), std::string::npos);
    core.loggingSwitched(false);
    f.setU16(32, 1002);
    decode(core, f.seal());
    EXPECT_EQ(slurp(dir / "raw" / "K1234567.txt"), raw);
}

TEST_F(Logging, HumiditySwitchPutsTheSelectedSensorInTheHumd1Column) {
    Frame f;
    f.b[45] = 0x08;
    decode(core, f.seal());
    EXPECT_NE(slurp(dir / "sens" / "K1234567.csv").find("\r\n1000,700,1450,1450,"),
              std::string::npos);
}

TEST_F(Logging, DeletedSensorLogRestartsWithItsHeaderAndNewSondeGetsNewFiles) {
    Frame f;
    decode(core, f.seal());
    fs::remove(dir / "sens" / "K1234567.csv");
    f.setU16(32, 1001);
    decode(core, f.seal());
    EXPECT_EQ(slurp(dir / "sens" / "K1234567.csv"),
              "FrameNo,Temp,Humd1,Humd2,Ref,Ref,Press,Ref,Ref\r\n"
              "1001,700,1100,1450,1200,1200,200,100,300\r\n");
    const std::string oldRaw = slurp(dir / "raw" / "K1234567.txt");
    f.setSerial("M7654321");
    decode(core, f.seal());
    EXPECT_TRUE(fs::exists(dir / "raw" / "M7654321.txt"));
    EXPECT_TRUE(fs::exists(dir / "sens" / "M7654321.csv"));
    EXPECT_EQ(slurp(dir / "raw" / "K1234567.txt"), oldRaw);
}

TEST_F(Logging, HostileSerialsStayInsideTheirFolder) {
    Frame f;
    f.setSerial("../../ev");
    decode(core, f.seal());
    f.setSerial("/tmp/x\0y");
    decode(core, f.seal());
    EXPECT_TRUE(fs::exists(dir / "raw" / "%2E%2E%2F%2E%2E%2Fev.txt"));
    EXPECT_TRUE(fs::exists(dir / "raw" / "%2Ftmp%2Fx.txt")); // a NUL ends the name
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        EXPECT_EQ(entry.path().parent_path().parent_path(), dir) << entry.path();
    }
    EXPECT_EQ(files, 4u);
    // The serial shown keeps what was received.
    EXPECT_STREQ(core.readout().Label2.data(), "Serial Number : /tmp/x");
}

TEST_F(Logging, UnwritableFolderLosesLinesWithoutHarmAndSaysSo) {
    const fs::path blocker = dir / "file";
    std::ofstream(blocker) << "x";
    core.setProgramFolder(blocker.string()); // raw/ and sens/ cannot exist beneath a file
    Frame f;
    decode(core, f.seal());
    EXPECT_EQ(slurp(blocker), "x");
    EXPECT_STREQ(core.readout().Label12.data(), "Frame : 1000");
    EXPECT_TRUE(core.logWriteFailure().active);
    EXPECT_EQ(core.logWriteFailure().text, "cannot write " + blocker.string() +
                                               "/raw/K1234567.txt: cannot make the folder " +
                                               blocker.string() + "/raw: Not a directory");
}

TEST_F(Logging, OneFailureEpisodeUntilAWriteLandsAndFramesDecodeThroughout) {
    std::ofstream(dir / "raw") << "not a folder";
    Frame f;
    EXPECT_EQ(core.logWriteFailure().episodes, 0u);
    for (unsigned n = 1000; n < 1003; ++n) {
        f.setU16(32, n);
        decode(core, f.seal());
    }
    EXPECT_STREQ(core.readout().Label12.data(), "Frame : 1002");
    EXPECT_EQ(core.logWriteFailure().episodes, 1u);
    EXPECT_TRUE(core.logWriteFailure().active);
    EXPECT_TRUE(core.logWriteFailure().text.starts_with("cannot write " + (dir / "raw").string()));
    // The sensor log went on: a failed raw line does not cost it its lines.
    const std::string sensor = slurp(dir / "sens" / "K1234567.csv");
    EXPECT_EQ(std::count(sensor.begin(), sensor.end(), '\n'), 4);
    // A frame that is not logged neither ends nor renews the episode.
    decode(core, f.seal(true, false));
    EXPECT_TRUE(core.logWriteFailure().active);

    fs::remove(dir / "raw");
    f.setU16(32, 1003);
    decode(core, f.seal());
    EXPECT_FALSE(core.logWriteFailure().active);
    EXPECT_EQ(core.logWriteFailure().episodes, 1u);
    EXPECT_EQ(slurp(dir / "raw" / "K1234567.txt").substr(3 * 32, 6), "EB,03,");
    EXPECT_EQ(fs::file_size(dir / "raw" / "K1234567.txt"), 661u);

    // A new failure is a new episode; switching logging off ends it.
    fs::remove_all(dir / "sens");
    std::ofstream(dir / "sens") << "not a folder";
    decode(core, f.seal());
    EXPECT_EQ(core.logWriteFailure().episodes, 2u);
    core.loggingSwitched(false);
    EXPECT_FALSE(core.logWriteFailure().active);
    EXPECT_EQ(core.logWriteFailure().episodes, 2u);
}

// A calibration table whose entry n holds index byte 0x10 + n and the value n / 4
// (exact in single precision), with entry 7 holding the float nearest -0.0012345678.
std::array<uint8_t, 512> table() {
    std::array<uint8_t, 512> t{};
    for (int i = 0; i < 64; ++i)
        t[i] = static_cast<uint8_t>(0xC0 + i);
    for (int n = 0; n < 66; ++n) {
        const float value = n == 7 ? -0.0012345678f : n / 4.0f;
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        t[64 + 5 * n] = static_cast<uint8_t>(0x10 + n);
        for (int k = 0; k < 4; ++k)
            t[65 + 5 * n + k] = (bits >> (8 * k)) & 0xFF;
    }
    return t;
}

void sendPiece(NimboCore& core, const std::array<uint8_t, 512>& t, int k) {
    Frame f;
    f.b[47] = static_cast<uint8_t>(k);
    for (int i = 0; i < 16; ++i)
        f.b[48 + i] = k < 32 ? t[16 * k + i] : 0x55;
    decode(core, f.seal());
}

TEST_F(Logging, CalibrationProgressCompletionAndFiles) {
    core.loggingSwitched(false);
    const auto t = table();
    const int expected[] = {3,  6,  9,  12, 15, 18, 21, 25, 28, 31, 34, 37, 40, 43, 46, 50,
                            53, 56, 59, 62, 65, 68, 71, 75, 78, 81, 84, 87, 90, 93, 96};
    for (int k = 0; k < 31; ++k) {
        sendPiece(core, t, k);
        EXPECT_EQ(core.readout().ProgressBar1, expected[k]) << k;
    }
    sendPiece(core, t, 30); // again: counted once
    sendPiece(core, t, 40); // out of range: ignored
    EXPECT_EQ(core.readout().ProgressBar1, 96);
    EXPECT_FALSE(core.calibration().calComplete());
    sendPiece(core, t, 31);
    EXPECT_EQ(core.readout().ProgressBar1, 100);
    EXPECT_TRUE(core.calibration().calComplete());
    EXPECT_EQ(core.calibration().calCoefficients()[8], 2.0);
    EXPECT_EQ(core.calibration().calCoefficients()[7], double(-0.0012345678f));
    EXPECT_EQ(core.calibration().calWords()[0], 0xC3C2u);
    EXPECT_EQ(core.calibration().calWords()[18], 0xFFFEu);
    // Logging was off: no files until the button goes down.
    EXPECT_FALSE(fs::exists(dir / "calraw"));
    core.loggingSwitched(true);
    const std::string raw = slurp(dir / "calraw" / "K1234567.txt");
    const std::string data = slurp(dir / "caldata" / "K1234567.txt");
    EXPECT_EQ(raw.size(), 32u * (47 + 2));
    EXPECT_EQ(raw.substr(0, 49), "C0,C1,C2,C3,C4,C5,C6,C7,C8,C9,CA,CB,CC,CD,CE,CF\r\n");
    EXPECT_EQ(data.substr(0, 20), "00,10,0.0000000000\r\n");
    EXPECT_NE(data.find("\r\n07,17,-0.0012345678\r\n08,18,2.0000000000\r\n"), std::string::npos);
    EXPECT_TRUE(data.ends_with("\r\n65,51,16.2500000000\r\n"));
    EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 66);

    // After Cal Reset a second completion leaves the existing files as they are.
    fs::resize_file(dir / "caldata" / "K1234567.txt", 10);
    core.calReset();
    EXPECT_EQ(core.readout().ProgressBar1, 0);
    EXPECT_FALSE(core.calibration().calComplete());
    for (int k = 0; k < 32; ++k)
        sendPiece(core, t, k);
    EXPECT_TRUE(core.calibration().calComplete());
    EXPECT_EQ(fs::file_size(dir / "caldata" / "K1234567.txt"), 10u);
    EXPECT_EQ(slurp(dir / "calraw" / "K1234567.txt"), raw);
}

std::size_t filesBeneath(const fs::path& dir, const std::string& ending) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        n += entry.path().string().ends_with(ending);
    return n;
}

TEST_F(Logging, DiskFullWhileTheCalibrationFilesAreWrittenLeavesNoneOfThem) {
    const auto t = table();
    core.loggingSwitched(false);
    for (int k = 0; k < 32; ++k)
        sendPiece(core, t, k);
    {
        FileSizeLimit limit(1000); // both files are longer
        core.loggingSwitched(true);
    }
    EXPECT_FALSE(fs::exists(dir / "calraw" / "K1234567.txt"));
    EXPECT_FALSE(fs::exists(dir / "caldata" / "K1234567.txt"));
    EXPECT_EQ(filesBeneath(dir, ".tmp"), 0u);
    // The same writer over an old file leaves it whole.
    const std::string old = (dir / "old.txt").string();
    ASSERT_TRUE(writeWholeFile(old, "old"));
    {
        FileSizeLimit limit(10);
        EXPECT_FALSE(writeWholeFile(old, std::string(100, 'n')));
    }
    EXPECT_EQ(slurp(old), "old\r\n");
    EXPECT_EQ(filesBeneath(dir, ".tmp"), 0u);
    EXPECT_TRUE(core.logWriteFailure().active);
    EXPECT_EQ(core.logWriteFailure().text,
              "cannot write " + (dir / "calraw" / "K1234567.txt").string() + ": File too large");
    sendPiece(core, t, 5);
    EXPECT_EQ(slurp(dir / "calraw" / "K1234567.txt").size(), 32u * 49);
    EXPECT_EQ(slurp(dir / "caldata" / "K1234567.txt").substr(0, 20), "00,10,0.0000000000\r\n");
    EXPECT_FALSE(core.logWriteFailure().active);
}

TEST(Coefficients, SinglePrecisionPatterns) {
    const struct {
        uint32_t bits;
        double value;
    } cases[] = {
        {0x3F800000, 1.0},
        {0xC0200000, -2.5},
        {0x40490FDB, 3.1415927410125732},
        {0x00800000, 1.1754943508222875e-38},
        {0x00000000, 0.0},
        {0x80000000, 0.0},
        {0x00000001, 0.0},
        {0x007FFFFF, 0.0}, // subnormal
        {0x7F800000, 0.0},
        {0xFF800000, 0.0}, // infinities
        {0x7FC00000, 0.0},
        {0x7F800001, 0.0}, // NaNs
    };
    for (const auto& c : cases) {
        const uint8_t le[4] = {uint8_t(c.bits), uint8_t(c.bits >> 8), uint8_t(c.bits >> 16),
                               uint8_t(c.bits >> 24)};
        EXPECT_EQ(decodeCoefficient(le), c.value) << std::hex << c.bits;
    }
}

} // namespace
} // namespace nimbo
