// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 positions and times: ECEF to WGS84 at hand-worked points, velocities to east/north/up
// and heading, GPS time to UTC across the leap seconds, and the ISO text.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "rs41/geodesy.h"
#include "rs41/gps_time.h"

namespace nimbo::rs41 {
namespace {

constexpr double kA = 6378137.0;
constexpr double kB = 6356752.314245; // a (1 - f), the polar radius
constexpr double kRad = std::numbers::pi / 180.0;

// The forward formula: latitude, longitude, height to ECEF.
void ecefOf(double latDeg, double lonDeg, double h, double& x, double& y, double& z) {
    const double e2 = 1.0 - (kB / kA) * (kB / kA);
    const double s = std::sin(latDeg * kRad), c = std::cos(latDeg * kRad);
    const double n = kA / std::sqrt(1.0 - e2 * s * s);
    x = (n + h) * c * std::cos(lonDeg * kRad);
    y = (n + h) * c * std::sin(lonDeg * kRad);
    z = (n * (1.0 - e2) + h) * s;
}

TEST(Rs41Position, EcefToGeodeticAtHandWorkedPoints) {
    double x, y, z;
    const struct {
        const char* name;
        double x, y, z, lat, lon, h;
    } cases[] = {
        {"equator, prime meridian", kA, 0, 0, 0, 0, 0},
        {"1000 m above it", kA + 1000, 0, 0, 0, 0, 1000},
        {"equator, 90 E", 0, kA, 0, 0, 90, 0},
        {"equator, 180, 20 km up", -kA - 20000, 0, 0, 0, 180, 20000},
        {"north pole", 0, 0, kB, 90, 0, 0},
        {"south pole, 500 m up", 0, 0, -kB - 500, -90, 0, 500},
        {"the earth's centre", 0, 0, 0, 0, 0, -kA},
        {"the real frame", 4279094.30, 1235968.62, 4589580.49, 46.050263174685, 16.110771321818,
         28410.02300},
        {"45 S 60 W, 1234.5 m", (ecefOf(-45, -60, 1234.5, x, y, z), x), y, z, -45, -60, 1234.5},
        {"80 N 170 E, 35 km", (ecefOf(80, 170, 35000, x, y, z), x), y, z, 80, 170, 35000},
        {"1 S 1 W, 10 m below", (ecefOf(-1, -1, -10, x, y, z), x), y, z, -1, -1, -10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Geodetic g = geodeticFromEcef(c.x, c.y, c.z);
        EXPECT_NEAR(g.latitudeDeg, c.lat, 1e-9); // 0.1 mm
        EXPECT_NEAR(g.longitudeDeg, c.lon, 1e-9);
        EXPECT_NEAR(g.heightM, c.h, 1e-4);
    }
}

TEST(Rs41Position, VelocityToEastNorthUpAndHeading) {
    const Geodetic origin{0, 0, 0}, pole{90, 0, 0}, real{46.0502632, 16.1107713, 28410.0};
    const struct {
        Geodetic at;
        double vx, vy, vz;
        double east, north, up, horizontal, heading;
    } cases[] = {
        {origin, 0, 3, 0, 3, 0, 0, 3, 90},
        {origin, 0, 0, 2, 0, 2, 0, 2, 0},
        {origin, 0, 0, -2, 0, -2, 0, 2, 180},
        {origin, 0, -1, 0, -1, 0, 0, 1, 270},
        {origin, 0, -1, 1, -1, 1, 0, std::sqrt(2.0), 315},
        {origin, 5, 0, 0, 0, 0, 5, 0, 0},                            // straight up: no heading, 0
        {origin, 0, -1e-12, 1, -1e-12, 1, 0, 1, 360 - 1e-12 / kRad}, // stays below 360
        {pole, -1, 0, 0, 0, 1, 0, 1, 0},
        {pole, 0, 0, 4, 0, 0, 4, 0, 0},
        {real, -20.80, -20.15, -25.59, -13.5867, 0.6523, -36.1730, 13.6024, 272.7486},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.vx << " " << c.vy << " " << c.vz);
        const Motion m = motionFromEcef(c.vx, c.vy, c.vz, c.at);
        EXPECT_NEAR(m.east, c.east, 1e-4);
        EXPECT_NEAR(m.north, c.north, 1e-4);
        EXPECT_NEAR(m.up, c.up, 1e-4);
        EXPECT_NEAR(m.horizontal, c.horizontal, 1e-4);
        EXPECT_NEAR(m.headingDeg, c.heading, 1e-4);
        EXPECT_GE(m.headingDeg, 0.0);
        EXPECT_LT(m.headingDeg, 360.0);
        EXPECT_FALSE(std::signbit(m.headingDeg));
    }
}

// Each step's last second under the old count, the inserted second, and the step's midnight.
TEST(Rs41Time, GpsToUtcAcrossTheLeapSeconds) {
    const struct {
        int week;
        uint32_t towMs;
        const char* text;
        int leap;
    } cases[] = {
        {0, 0, "1980-01-06T00:00:00Z", 0},
        {1512, 345613000, "2008-12-31T23:59:59Z", 14},
        {1512, 345614000, "2008-12-31T23:59:60Z", 14},
        {1512, 345615000, "2009-01-01T00:00:00Z", 15},
        {1695, 14000, "2012-06-30T23:59:59Z", 15},
        {1695, 15999, "2012-06-30T23:59:60Z", 15},
        {1695, 16000, "2012-07-01T00:00:00Z", 16},
        {1800, 131874000, "2014-07-07T12:37:38Z", 16},
        {1851, 259215000, "2015-06-30T23:59:59Z", 16},
        {1851, 259216000, "2015-06-30T23:59:60Z", 16},
        {1851, 259217000, "2015-07-01T00:00:00Z", 17},
        {1930, 16000, "2016-12-31T23:59:59Z", 17},
        {1930, 17000, "2016-12-31T23:59:60Z", 17},
        {1930, 18000, "2017-01-01T00:00:00Z", 18},
        {2300, 604799999, "2024-02-10T23:59:41Z", 18},
        {65535, 0, "3236-01-05T23:59:42Z", 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const UtcTime t = utcFromGps(c.week, c.towMs);
        EXPECT_EQ(std::string(isoDateTime(t).data()), c.text);
        EXPECT_EQ(t.leapSeconds, c.leap);
        EXPECT_EQ(t.milliseconds, static_cast<int>(c.towMs % 1000));
    }
}

} // namespace
} // namespace nimbo::rs41
