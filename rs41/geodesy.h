// SPDX-License-Identifier: GPL-3.0-or-later
// WGS84 positions and velocities from the ECEF values a GPS receiver gives.
#pragma once

namespace nimbo::rs41 {

inline constexpr double kWgs84A = 6378137.0;                  // semi-major axis, m
inline constexpr double kWgs84F = 1.0 / 298.257223563;        // flattening
inline constexpr double kWgs84E2 = kWgs84F * (2.0 - kWgs84F); // first eccentricity squared

struct Geodetic {
    double latitudeDeg = 0.0;  // -90..90, north positive
    double longitudeDeg = 0.0; // -180..180, east positive
    double heightM = 0.0;      // above the ellipsoid
};

// ECEF (m) to latitude, longitude and height; exact to well under a millimetre anywhere,
// the poles and the centre of the earth included.
Geodetic geodeticFromEcef(double x, double y, double z);

struct Motion {
    double east = 0.0, north = 0.0, up = 0.0; // m/s
    double horizontal = 0.0;                  // m/s
    double headingDeg = 0.0;                  // from north towards east, 0 <= h < 360; 0 at rest
};

// An ECEF velocity (m/s) at a place, turned to east, north and up there.
Motion motionFromEcef(double vx, double vy, double vz, const Geodetic& at);

} // namespace nimbo::rs41
