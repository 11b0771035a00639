// SPDX-License-Identifier: GPL-3.0-or-later
// The drift is laid out in the site's own degrees (east and north metres over the radii of
// curvature at the site), so position and velocity follow in closed form from the flight
// model's height, its rate of climb and its time integral.
#include "tools/synth/rs41_track.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "rs41/geodesy.h"
#include "tools/synth/flight.h"

namespace nimbo::synth {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// Radii of curvature at a latitude: prime vertical N and meridian M, m.
double primeVerticalRadius(double sinLat) {
    return rs41::kWgs84A / std::sqrt(1.0 - rs41::kWgs84E2 * sinLat * sinLat);
}
double meridianRadius(double sinLat) {
    const double w2 = 1.0 - rs41::kWgs84E2 * sinLat * sinLat;
    return rs41::kWgs84A * (1.0 - rs41::kWgs84E2) / (w2 * std::sqrt(w2));
}

} // namespace

std::array<double, 3> ecefFromGeodetic(double latitudeDeg, double longitudeDeg, double heightM) {
    const double lat = latitudeDeg * kRadiansPerDegree, lon = longitudeDeg * kRadiansPerDegree;
    const double n = primeVerticalRadius(std::sin(lat));
    return {(n + heightM) * std::cos(lat) * std::cos(lon),
            (n + heightM) * std::cos(lat) * std::sin(lon),
            (n * (1.0 - rs41::kWgs84E2) + heightM) * std::sin(lat)};
}

TrackPoint trackAt(double siteLatitudeDeg, double siteLongitudeDeg, double seconds) {
    const double lat0 = siteLatitudeDeg * kRadiansPerDegree;
    const double m0 = meridianRadius(std::sin(lat0));
    const double n0cos = primeVerticalRadius(std::sin(lat0)) * std::cos(lat0);

    // Distance drifted east and north: the wind at the ground for the time aloft plus the
    // shear times the height integrated over that time; the speeds are the wind at the height.
    const double h = flightAt(seconds).heightM;
    const bool flying = seconds >= 0.0 && seconds < landingSeconds();
    const double aloft = std::clamp(seconds, 0.0, landingSeconds());
    const double hs = heightIntegralAt(seconds);
    const double east = kWindEast0 * aloft + kWindShearEast * hs;
    const double north = kWindNorth0 * aloft + kWindShearNorth * hs;
    const double eastSpeed = flying ? kWindEast0 + kWindShearEast * h : 0.0;
    const double northSpeed = flying ? kWindNorth0 + kWindShearNorth * h : 0.0;

    TrackPoint p;
    const double lat = lat0 + north / m0;
    const double lon = siteLongitudeDeg * kRadiansPerDegree + east / n0cos;
    p.latitudeDeg = lat / kRadiansPerDegree;
    p.longitudeDeg = std::remainder(lon / kRadiansPerDegree, 360.0);
    p.heightM = h;
    p.ecef = ecefFromGeodetic(p.latitudeDeg, p.longitudeDeg, h);

    // d(ecef)/dt = (M + h) lat' n + (N + h) cos(lat) lon' e + h' u, the unit vectors north,
    // east and up at the point.
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double sinLon = std::sin(lon), cosLon = std::cos(lon);
    const double vn = (meridianRadius(sinLat) + h) * northSpeed / m0;
    const double ve = (primeVerticalRadius(sinLat) + h) * cosLat * eastSpeed / n0cos;
    const double vu = climbRateAt(seconds);
    p.ecefVelocity = {-sinLat * cosLon * vn - sinLon * ve + cosLat * cosLon * vu,
                      -sinLat * sinLon * vn + cosLon * ve + cosLat * sinLon * vu,
                      cosLat * vn + sinLat * vu};
    return p;
}

} // namespace nimbo::synth
