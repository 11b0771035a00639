// SPDX-License-Identifier: GPL-3.0-or-later
// ECEF to WGS84 by fixed-point iteration on the latitude, and velocities to east/north/up.
#include "rs41/geodesy.h"

#include <cmath>
#include <numbers>

namespace nimbo::rs41 {

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;
// Each step shrinks the latitude error by about e^2 (1/150); from the first guess (exact on
// the ellipsoid, 3e-5 rad off at 30 km) six steps reach the double's limit (1e-9 rad: 6 mm).
constexpr int kIterations = 6;

} // namespace

Geodetic geodeticFromEcef(double x, double y, double z) {
    const double p = std::hypot(x, y);
    double lat = std::atan2(z, p * (1.0 - kWgs84E2));
    double n = kWgs84A;
    for (int i = 0; i < kIterations; ++i) {
        const double s = std::sin(lat);
        n = kWgs84A / std::sqrt(1.0 - kWgs84E2 * s * s);
        lat = std::atan2(z + kWgs84E2 * n * s, p);
    }
    const double s = std::sin(lat), c = std::cos(lat);
    n = kWgs84A / std::sqrt(1.0 - kWgs84E2 * s * s);
    // Valid at every latitude, unlike p / cos(lat) - N near the poles.
    const double h = p * c + z * s - kWgs84A * kWgs84A / n;
    return {lat * kDeg, std::atan2(y, x) * kDeg, h};
}

Motion motionFromEcef(double vx, double vy, double vz, const Geodetic& at) {
    const double lat = at.latitudeDeg / kDeg, lon = at.longitudeDeg / kDeg;
    const double sLat = std::sin(lat), cLat = std::cos(lat);
    const double sLon = std::sin(lon), cLon = std::cos(lon);
    Motion m;
    m.east = -sLon * vx + cLon * vy;
    m.north = -sLat * cLon * vx - sLat * sLon * vy + cLat * vz;
    m.up = cLat * cLon * vx + cLat * sLon * vy + sLat * vz;
    m.horizontal = std::hypot(m.east, m.north);
    double heading = std::atan2(m.east, m.north) * kDeg + 0.0; // + 0.0: no -0
    if (heading < 0.0) heading += 360.0;
    m.headingDeg = heading >= 360.0 ? 0.0 : heading;
    return m;
}

} // namespace nimbo::rs41
