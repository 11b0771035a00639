// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor graph's steps, counters and pixels on a 101 x 80 chart (grid dots every 10
// pixels, x = trunc(101 * value)), against positions worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "pictures/sensor_graph.h"

namespace nimbo {
namespace {

constexpr int kW = 101, kH = 80;
constexpr Colour kSilver = 0xC0C0C0;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

struct Channels {
    double v[8];
};
// Temp, Humd1 (x = 25) and Press (x = 75) are drawn by default; the rest sit at x = 33.
Channels values(double temp) {
    return {{temp, 0.25, 0.33, 0.33, 0.33, 0.75, 0.33, 0.33}};
}

// A chart that draws Temp (red) only, unless asked for the usual channels.
SensorGraph graph(int rowTime, bool usualChannels = false) {
    SensorGraph g(usualChannels
                      ? SensorGraph::kDefaultVisible
                      : std::array{true, false, false, false, false, false, false, false});
    g.resize(kW, kH);
    g.setRowTime(rowTime);
    return g;
}

std::set<int> xsOf(const Raster& r, int y, Colour colour) {
    std::set<int> xs;
    for (int x = 0; x < r.width(); ++x)
        if (r.pixel(x, y) == colour) xs.insert(x);
    return xs;
}

std::set<int> range(int first, int end, int step = 1) {
    std::set<int> xs;
    for (int x = first; x < end; x += step)
        xs.insert(x);
    return xs;
}

TEST(SensorGraph, RowTimeSetsLabelAndScrollPeriod) {
    EXPECT_STREQ(SensorGraph().Label1().data(), "6 sec");
    struct Case {
        int position;
        const char* label;
        int rowsPerMinute; // between two minute lines, 60 steps apart
    };
    for (auto c : {Case{0, "1 sec", 60}, {19, "20 sec", 3}, {-4, "1 sec", 60}, {25, "20 sec", 3}}) {
        SensorGraph g = graph(c.position);
        EXPECT_STREQ(g.Label1().data(), c.label);
        for (int s = 0; s < 61; ++s)
            g.graphStep(values(0.5).v, false);
        std::set<int> rows;
        for (int y = 0; y < kH; ++y)
            if (g.graphBitmap().pixel(2, y) == kSilver) rows.insert(y);
        EXPECT_EQ(rows, (std::set<int>{0, c.rowsPerMinute})) << c.position;
    }
}

TEST(SensorGraph, MinuteLinesAndGridDots) {
    SensorGraph slow = graph(19); // the first step draws a minute line, scrolled or not
    slow.graphStep(values(0.5).v, false);
    EXPECT_EQ(xsOf(slow.graphBitmap(), 0, kSilver), range(0, kW, 2));

    SensorGraph g = graph(0);
    for (int s = 1; s <= 64; ++s)
        g.graphStep(values(0.5).v, false);
    // Scroll s now sits in row 64 - s: minute lines at steps 1 and 61, grid on even scrolls.
    for (int row : {63, 3})
        EXPECT_EQ(xsOf(g.graphBitmap(), row, kSilver), range(0, kW, 2)) << row;
    for (int row : {0, 2, 62})
        EXPECT_EQ(xsOf(g.graphBitmap(), row, clGray), range(0, kW, 10)) << row;
    for (int row : {1, 61})
        EXPECT_EQ(xsOf(g.graphBitmap(), row, clBlack), range(0, kW)) << row;
}

TEST(SensorGraph, ConstantChannelsDrawVerticalLines) {
    // The first step only arms; every later scroll draws one pixel into row 1.
    for (auto [rowTime, steps] : {std::pair{0, 9}, {2, 24}}) {
        SensorGraph g = graph(rowTime, true);
        for (int s = 0; s < steps; ++s)
            g.graphStep(values(0.5).v, true);
        for (auto [x, colour] : {std::pair{50, clRed}, {25, clAqua}, {75, clLime}, {33, clTeal}}) {
            std::set<int> rows;
            for (int y = 0; y < kH; ++y)
                if (g.graphBitmap().pixel(x, y) == colour) rows.insert(y);
            EXPECT_EQ(rows, x == 33 ? std::set<int>{} : range(1, 9)) << rowTime << " " << x;
        }
    }
}

TEST(SensorGraph, SegmentsAreClippedNotHeldAtTheEdges) {
    struct Case {
        double last, now;
        std::set<int> row1, row0; // red pixels after one scrolled step
    };
    const Case cases[] = {
        {0.2, 0.3, range(20, 26), range(26, 30)},
        {0.3, -0.005, range(15, 31), range(1, 15)}, // -0.505 truncates to 0, not -1
        {0.5, 1.5, range(50, 101), {}},             // towards x = 151: level this far
        {0.5, -0.5, range(0, 51), {}},
        {0.5, kInf, range(50, 101), {}},
        {0.5, 3e9, range(50, 101), {}}, // beyond 32 bits once scaled
        {kInf, 0.5, {}, range(51, 101)},
        {-kInf, kInf, {0}, range(1, 101)},
        {0.5, kNaN, {}, {}},
        {kNaN, 0.5, {}, {}},
        {0.5, 0.5, {50}, {}},
    };
    for (const Case& c : cases) {
        SensorGraph g = graph(0);
        g.graphStep(values(c.last).v, true); // arms only, from these values
        g.graphStep(values(c.now).v, true);
        const std::string at = std::to_string(c.last) + " -> " + std::to_string(c.now);
        EXPECT_EQ(xsOf(g.graphBitmap(), 1, clRed), c.row1) << at;
        EXPECT_EQ(xsOf(g.graphBitmap(), 0, clRed), c.row0) << at;
    }
}

TEST(SensorGraph, RearmingDrawsFromTheNextStepAndAlongTheTopRowWithoutScroll) {
    SensorGraph g = graph(1);
    g.graphStep(values(0.9).v, false); // no good sensor block: stays clear
    g.graphStep(values(0.2).v, true);  // re-arms only; scrolls
    EXPECT_TRUE(g.graphArmed());
    for (int y = 0; y < kH; ++y)
        EXPECT_TRUE(xsOf(g.graphBitmap(), y, clRed).empty()) << y;
    g.graphStep(values(0.3).v, true); // no scroll: (20, 0) -> (30, 0)
    EXPECT_EQ(xsOf(g.graphBitmap(), 0, clRed), range(20, 30));
}

TEST(SensorGraph, BlocksDriveStepsAndDisarming) {
    SensorGraph g = graph(0);
    g.graphStep(values(0.5).v, true); // arms
    const unsigned shown = g.graphShowCount();
    g.sensorBlockGood(); // in block 1
    for (int block = 1; block <= 40; ++block) {
        g.endOfBuffer(true, values(0.5).v, true);
        EXPECT_EQ(g.graphShowCount() - shown, unsigned(block / 10)) << block;
        EXPECT_EQ(g.graphArmed(), block < 20) << block;
    }
    SensorGraph up = graph(0); // "Scroll" up for 15 blocks: the count runs on, no steps
    for (int block = 1; block <= 20; ++block)
        up.endOfBuffer(block > 15, values(0.5).v, true);
    EXPECT_EQ(up.graphShowCount(), 2u); // 1 from the resize
}

TEST(SensorGraph, ResetResizeAndScrollPressClearTheChart) {
    SensorGraph g = graph(0);
    for (int s = 0; s < 5; ++s)
        g.graphStep(values(0.7).v, true);
    g.reset();
    for (int y = 0; y < kH; ++y)
        EXPECT_EQ(xsOf(g.graphBitmap(), y, clBlack), range(0, kW)) << y;
    g.graphStep(values(0.1).v, true);
    EXPECT_EQ(xsOf(g.graphBitmap(), 1, clRed), range(0, 6));
    g.SpeedButton3Click(true);
    EXPECT_EQ(g.graphBitmap().pixel(0, 1), clBlack);
    EXPECT_EQ(g.graphMinuteCounter(), 59);

    g.resize(0, 0); // counters stay; an empty chart takes steps
    for (int s = 0; s < 30; ++s)
        g.graphStep(values(0.5).v, true);
    EXPECT_TRUE(g.graphArmed());
}

} // namespace
} // namespace nimbo
