// SPDX-License-Identifier: GPL-3.0-or-later
// Remembered placements brought onto the screens, worked out by hand: 915 x 700 minimum,
// one screen of 1280 x 1024 (a 915 x 700 window fits from 0..365 across, 0..324 down), or
// that one and a second of 1920 x 1080 to its right.
#include <gtest/gtest.h>

#include "widgets/placement.h"

namespace nimbo {
namespace {

TEST(PlaceOnScreens, SaneValuesStayAndOthersComeOntoTheScreen) {
    const QSize minimum(915, 700);
    const QList<QRect> one{QRect(0, 0, 1280, 1024)};
    const QList<QRect> two{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    struct Case {
        int64_t left, top, width, height;
        const QList<QRect>* screens;
        QRect expected;
    };
    const Case cases[] = {
        // Wholly on the screen: unchanged, also touching its right and bottom edges.
        {100, 80, 915, 700, &one, {100, 80, 915, 700}},
        {365, 324, 915, 700, &one, {365, 324, 915, 700}},
        // A corner on the screen, the close button beyond it: moved just inside.
        {1200, 900, 915, 700, &one, {365, 324, 915, 700}},
        {366, 100, 915, 700, &one, {365, 100, 915, 700}},
        {-10, 325, 915, 700, &one, {0, 324, 915, 700}},
        // Smaller than the minimum: the minimum.
        {10, 10, 300, 200, &one, {10, 10, 915, 700}},
        // Title bar above the screen, or mostly beyond its right edge: moved inside.
        {100, -20, 915, 700, &one, {100, 0, 915, 700}},
        {1250, 100, 915, 700, &one, {365, 100, 915, 700}},
        // Far off, and wider than the screen: cut to the screen and put on it.
        {99999999, 0, 100000, 700, &one, {0, 0, 1280, 700}},
        {-5000, -5000, 915, 100000, &one, {0, 0, 915, 1024}},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN, &one, {0, 324, 1280, 700}},
        // Two screens: the one it overlaps most, or the nearest, sets the limits.
        {1500, 50, 1600, 900, &two, {1500, 50, 1600, 900}},
        {1200, 50, 1600, 900, &two, {1200, 50, 1600, 900}},
        {1200, 300, 1600, 900, &two, {1280, 180, 1600, 900}},
        {5000, 20, 2500, 700, &two, {1280, 20, 1920, 700}},
        {-3000, 500, 2500, 700, &two, {0, 324, 1280, 700}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(placeOnScreens(c.left, c.top, c.width, c.height, *c.screens, minimum), c.expected)
            << c.left << ',' << c.top << ' ' << c.width << 'x' << c.height;
    // No screen known: only the sizes are brought into range.
    EXPECT_EQ(placeOnScreens(7, 8, 100, 1 << 30, {}, minimum), QRect(7, 8, 915, 1 << 24));
}

} // namespace
} // namespace nimbo
