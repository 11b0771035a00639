// SPDX-License-Identifier: GPL-3.0-or-later
// The RS41's log files: the raw frame log, the track CSV and the GPX track, written from the
// real frame; a GPX that could not take its next point is left whole as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "decode/flight_logs.h"
#include "rs41/rs41_frame.h"
#include "rs41/track_logs.h"
#include "tests/rs41_real_frame.h"

namespace nimbo::rs41 {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Rs41Logs : public testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/nimbo-rs41-logs-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        folder_ = tmpl;
        const auto bytes = test::realFrame();
        ASSERT_TRUE(decodeFrame(bytes, {}, frame_));
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string path(const char* sub, const char* ext) const {
        return folder_ + "/" + sub + "/K1930293" + ext;
    }

    std::string folder_;
    Rs41Frame frame_;
    FlightLogs logs_;
};

// The published frame's values, as each file writes them (line ends CR LF).
constexpr const char* kPoint = "<trkpt lat=\"46.050263\" lon=\"16.110771\"><ele>28410.02</ele>"
                               "<time>2014-07-07T12:37:38Z</time><sat>8</sat></trkpt>\r\n";
constexpr const char* kGpxHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<gpx version=\"1.1\" creator=\"NIMBO\" xmlns=\"http://www.topografix.com/GPX/1/1\">\r\n"
    "<trk><name>K1930293</name><trkseg>\r\n";
constexpr const char* kGpxEnd = "</trkseg></trk>\r\n</gpx>\r\n";

TEST_F(Rs41Logs, EachFileAsWorkedOutByHand) {
    ASSERT_TRUE(logFrame(folder_, frame_, logs_));
    ASSERT_TRUE(logFrame(folder_, frame_, logs_));
    std::string hex;
    for (const char c : test::kRealFrameHex)
        hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(readAll(path("rs41raw", ".txt")), hex + "\r\n" + hex + "\r\n");
    const std::string row = "2014-07-07T12:37:38Z,5910,46.050263,16.110771,28410.02,13.60,272.7,"
                            "-36.17,8\r\n";
    EXPECT_EQ(readAll(path("track", ".csv")),
              std::string("UTC,Frame,Lat,Lon,Alt,VelH,Heading,VelV,Sats\r\n") + row + row);
    EXPECT_EQ(readAll(path("gpx", ".gpx")), std::string(kGpxHead) + kPoint + kPoint + kGpxEnd);
}

TEST_F(Rs41Logs, OnlyGoodFramesAndTheTrackOnlyWithPositionAndTime) {
    Rs41Frame failed = frame_;
    failed.good = false;
    ASSERT_TRUE(logFrame(folder_, failed, logs_));
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/rs41raw"));
    Rs41Frame noFix = frame_;
    noFix.hasPosition = false;
    ASSERT_TRUE(logFrame(folder_, noFix, logs_));
    EXPECT_TRUE(std::filesystem::exists(path("rs41raw", ".txt")));
    EXPECT_FALSE(std::filesystem::exists(path("gpx", ".gpx")));
    EXPECT_FALSE(std::filesystem::exists(path("track", ".csv")));
}

// A point that does not fit (a full disk, here a file size limit) leaves the track as it was:
// whole, closed, every earlier point in it; the failure is reported as an episode.
TEST_F(Rs41Logs, AGpxThatCannotGrowIsLeftWhole) {
    ASSERT_TRUE(logFrame(folder_, frame_, logs_));
    logs_.settle();
    const std::string before = readAll(path("gpx", ".gpx"));
    {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old;
        limit.rlim_cur = before.size() + 40; // half a point more
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_FALSE(logFrame(folder_, frame_, logs_));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
    }
    logs_.settle();
    EXPECT_EQ(readAll(path("gpx", ".gpx")), before);
    EXPECT_EQ(logs_.failure().episodes, 1u);
    EXPECT_NE(logs_.failure().text.find("cannot write"), std::string::npos);
    // Room again: the next point lands after the first.
    ASSERT_TRUE(logFrame(folder_, frame_, logs_));
    EXPECT_EQ(readAll(path("gpx", ".gpx")), std::string(kGpxHead) + kPoint + kPoint + kGpxEnd);
}

// A file that does not end as the program ends it (edited, or another program's) is not
// written into.
TEST_F(Rs41Logs, AForeignGpxIsLeftAlone) {
    std::filesystem::create_directories(folder_ + "/gpx");
    const std::string foreign = "<gpx>not ours</gpx>\n";
    std::ofstream(path("gpx", ".gpx")) << foreign;
    EXPECT_FALSE(logFrame(folder_, frame_, logs_));
    EXPECT_EQ(readAll(path("gpx", ".gpx")), foreign);
}

} // namespace
} // namespace nimbo::rs41
