// SPDX-License-Identifier: GPL-3.0-or-later
// The raster's primitives and the scope's pixels, against positions worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "pictures/scope.h"
#include "raster/raster.h"

namespace nimbo {
namespace {

using Pixels = std::set<std::pair<int, int>>;
constexpr Colour kInk = 0x123456, kGrey = 0x808080, kLightGrey = 0xDCDCDC;
constexpr double kInf = std::numeric_limits<double>::infinity();

// The pixels of `colour`, or of any colour but black.
Pixels lit(const Raster& r, Colour colour = clBlack) {
    Pixels out;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            if (colour == clBlack ? r.pixel(x, y) != clBlack : r.pixel(x, y) == colour)
                out.insert({x, y});
    return out;
}

Pixels row(int y, int first, int end, int step = 1) {
    Pixels out;
    for (int x = first; x < end; x += step)
        out.insert({x, y});
    return out;
}

// Whether all of row y is `colour`.
bool rowIs(const Raster& r, int y, Colour colour) {
    for (int x = 0; x < r.width(); ++x)
        if (r.pixel(x, y) != colour) return false;
    return true;
}

TEST(Raster, LinesIncludeStartExcludeEndAndClip) {
    constexpr int kBig = 1000000000;
    struct Case {
        int x0, y0, x1, y1;
        Pixels expected;
    };
    Pixels farLine = row(4, 1, 10); // two billion pixels long: level changes just after x = 0
    farLine.insert({0, 3});
    const Case cases[] = {
        {2, 3, 6, 3, row(3, 2, 6)},
        // Half-way points (x = 3 here, y = 2 below) keep the row or column of the start.
        {0, 0, 6, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 1}, {5, 1}}},
        {6, 1, 0, 0, {{6, 1}, {5, 1}, {4, 1}, {3, 1}, {2, 0}, {1, 0}}},
        {0, 0, 1, 4, {{0, 0}, {0, 1}, {0, 2}, {1, 3}}},
        {5, 5, 5, 5, {}},
        {-5, 2, 15, 2, row(2, 0, 10)},
        {5, -kBig, 5, kBig, {{5, 0}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}, {5, 6}, {5, 7}}},
        {-kBig, 3, kBig, 4, farLine},
        {INT_MIN,
         INT_MIN,
         INT_MAX,
         INT_MAX,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}}},
        {INT_MAX, INT_MIN, INT_MIN, INT_MAX, {}}, // passes the corner far away
    };
    for (const Case& c : cases) {
        Raster r(10, 8);
        r.setPen(kInk);
        r.moveTo(c.x0, c.y0);
        r.lineTo(c.x1, c.y1);
        EXPECT_EQ(lit(r), c.expected) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }
}

TEST(Raster, DottedLinesStartOnAtTheirFirstPixel) {
    Raster r(10, 8);
    r.setPen(kInk, PenStyle::Dotted);
    r.moveTo(0, 0);
    r.lineTo(7, 0);
    r.lineTo(7, 4); // the pattern restarts: (7, 0) is on again
    r.moveTo(-3, 6);
    r.lineTo(5, 6); // anchored at x = -3, not at the clip edge
    EXPECT_EQ(lit(r), (Pixels{{0, 0}, {2, 0}, {4, 0}, {6, 0}, {7, 0}, {7, 2}, {1, 6}, {3, 6}}));
}

TEST(Raster, FillCopyAndRawBytesStayInside) {
    Raster r(5, 3);
    ASSERT_EQ(r.stride(), 16); // rows padded to 4 bytes, pixels red, green, blue
    r.fill(Rect{INT_MIN, -5, 2, 1}, 0x00332211);
    r.setPixel(5, 0, kInk);
    r.setPixel(0, -1, kInk);
    EXPECT_EQ(lit(r), row(0, 0, 2));
    EXPECT_EQ(r.bits()[3], 0x11);
    EXPECT_EQ(r.bits()[5], 0x33);

    r.copyRect(Rect{0, 0, 5, 2}, 0, 1);   // one row down, overlapping, as the graph scrolls
    r.copyRect(Rect{-1, -1, 2, 1}, 3, 1); // only source (0, 0) lies inside both: on (4, 2)
    r.copyRect(Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, INT_MAX, INT_MIN);
    Pixels expected = row(0, 0, 2);
    expected.merge(row(1, 0, 2));
    expected.insert({4, 2});
    EXPECT_EQ(lit(r), expected);

    r.resize(-3, 4); // an empty image takes every call
    r.fill(clWhite);
    r.lineTo(5, 5);
    r.copyRect(Rect{0, 0, 5, 5}, 0, 1);
    EXPECT_EQ(r.width(), 0);
}

// --- Scope ---

struct Block {
    std::vector<double> signal;
    std::vector<uint8_t> ticks = std::vector<uint8_t>(kBlockSamples, 0);

    explicit Block(double value, int tickEvery = 10) : signal(kBlockSamples, value) {
        for (int k = 0; tickEvery > 0 && k < kBlockSamples; k += tickEvery)
            ticks[k] = 1;
    }
};

std::unique_ptr<Scope> drawn(std::initializer_list<Block> blocks) {
    auto s = std::make_unique<Scope>();
    for (const Block& b : blocks)
        s->DrawScope(b.signal.data(), b.ticks.data());
    return s;
}

TEST(Scope, GridIsDottedGreyCentreLineAndColumns) {
    const auto s = drawn({Block(0.0, 0)}); // no ticks: grid only
    const Raster& b = s->scopeBitmap();
    ASSERT_EQ(b.width(), 180);
    ASSERT_EQ(b.height(), 150);
    Pixels grid = row(75, 0, 180, 2);
    for (int x : {0, 60, 120})
        for (int y = 0; y < 150; y += 2)
            grid.insert({x, y});
    EXPECT_EQ(lit(b), grid);
}

TEST(Scope, ValuesToRowsTowardZeroClippedOutside) {
    const std::pair<double, int> cases[] = {
        {0, 75},     {60, 74},    {-30, 75},         {59.9, 74}, {-60, 76},
        {4530, 0},   {4559, 0},   {-4499, 149},      {4560, -1}, {-4500, -1},
        {1e300, -1}, {-kInf, -1}, {std::nan(""), -1}};
    for (auto [value, y] : cases) {
        // Ticks every 10 samples: traces of 30 samples of 6 pixels, each over x = 0 .. 179.
        EXPECT_EQ(lit(drawn({Block(value)})->scopeBitmap(), clWhite),
                  y < 0 ? Pixels{} : row(y, 0, 180))
            << value;
    }
}

TEST(Scope, TracesStartAtEveryThirdTick) {
    Block b(-600.0, 0); // row 85
    b.ticks[5] = b.ticks[15] = b.ticks[25] = 1;
    b.signal[24] = 600.0; // row 65: would show if the trace started a sample early
    // Sample 25 onwards, from the left edge; with no more ticks it runs off the right.
    EXPECT_EQ(lit(drawn({b})->scopeBitmap(), clWhite), row(85, 0, 180));
    b.ticks[25] = 0;
    EXPECT_EQ(lit(drawn({b})->scopeBitmap(), clWhite), Pixels{});
}

TEST(Scope, RowColoursStayWithTheirAge) {
    const auto at = [](int y) { return Block(60.0 * (75 - y)); };
    auto s = drawn({at(10), at(20), at(30)});
    EXPECT_TRUE(rowIs(s->scopeBitmap(), 10, kGrey));
    EXPECT_EQ(lit(s->scopeBitmap(), kLightGrey), row(20, 0, 180));
    EXPECT_EQ(lit(s->scopeBitmap(), clWhite), row(30, 0, 180));
    const Block next = at(30);
    s->DrawScope(next.signal.data(), next.ticks.data()); // newest on top, same place
    EXPECT_EQ(lit(s->scopeBitmap(), kLightGrey), Pixels{});
    EXPECT_EQ(lit(s->scopeBitmap(), clWhite), row(30, 0, 180));
    EXPECT_EQ(s->scopeBitmap().pixel(90, 10), clBlack);
    EXPECT_TRUE(rowIs(s->scopeBitmap(), 20, kGrey));
}

} // namespace
} // namespace nimbo
