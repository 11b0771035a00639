// SPDX-License-Identifier: GPL-3.0-or-later
// Where nimbo-synth's RS41 flies: the flight model's height over a launch site, drifting in a
// wind that grows with height, as the ECEF position and velocity its GPS receiver reports.
#pragma once

#include <array>

namespace nimbo::synth {

// The wind (m/s, towards east and north) at height h is kWind0 + kWindShear * h. At the ground
// 3 m/s east and 1 m/s north; 33 m/s east and 5 m/s south at 20 km, 49.5 east and 8.3 south at
// burst.
inline constexpr double kWindEast0 = 3.0, kWindNorth0 = 1.0; // m/s
inline constexpr double kWindShearEast = 1.5e-3;             // (m/s) per m of height
inline constexpr double kWindShearNorth = -0.3e-3;           // (m/s) per m of height
inline constexpr double kMaxSiteLatitudeDeg = 85.0;          // the drift is in degrees of the site

struct TrackPoint {
    double latitudeDeg = 0.0, longitudeDeg = 0.0; // WGS84, longitude -180..180
    double heightM = 0.0;                         // above the ellipsoid: the flight model's
    std::array<double, 3> ecef{};                 // m
    std::array<double, 3> ecefVelocity{};         // m/s, the time derivative of ecef
};

// The sonde `seconds` after launch from the site (height 0 on the ellipsoid). It drifts with
// the wind while it flies and rests where it landed. Latitude within +-kMaxSiteLatitudeDeg.
TrackPoint trackAt(double siteLatitudeDeg, double siteLongitudeDeg, double seconds);

// WGS84 latitude, longitude (degrees) and height above the ellipsoid (m) to ECEF (m).
std::array<double, 3> ecefFromGeodetic(double latitudeDeg, double longitudeDeg, double heightM);

} // namespace nimbo::synth
