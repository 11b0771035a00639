// SPDX-License-Identifier: GPL-3.0-or-later
// The IF discriminator's own arc tangent against the library's, including the axes
// and the quadrant boundaries where a sign slip would show.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/phase.h"

namespace nimbo {
namespace {

TEST(PhaseAtan2, AgreesWithLibraryEverywhere) {
    const double pi = 3.141592653589793;
    struct Case {
        double y, x, expected;
    } cases[] = {
        {1, 1, pi / 4},
        {1, -1, 3 * pi / 4},
        {-1, -1, -3 * pi / 4},
        {-1, 1, -pi / 4},
        {1, 0, pi / 2},
        {-1, 0, -pi / 2},
        {0, -1, pi},
        {0, 1, 0},
        {std::sqrt(3.0), 1, pi / 3},
        {1, std::sqrt(3.0), pi / 6},
        {0.41421356237309503, 1, pi / 8},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(phaseAtan2(c.y, c.x), c.expected, 1e-15) << c.y << ", " << c.x;

    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> value(-40000.0, 40000.0);
    std::uniform_int_distribution<int> scale(-12, 3);
    for (int i = 0; i < 200000; ++i) {
        const double y = value(rng) * std::pow(10.0, scale(rng));
        const double x = value(rng) * std::pow(10.0, scale(rng));
        ASSERT_NEAR(phaseAtan2(y, x), std::atan2(y, x), 2e-15) << y << ", " << x;
    }
}

} // namespace
} // namespace nimbo
