// SPDX-License-Identifier: GPL-3.0-or-later
// The synthetic flight: height from a steady climb and a parachute fall through air that
// thickens on the way down, then temperature, pressure and humidity as functions of height.
#include "tools/synth/flight.h"

#include <algorithm>
#include <cmath>

namespace nimbo::synth {

namespace {

// Air: a standard-like troposphere, a tropopause near 11.5 km and a warming stratosphere.
constexpr double kGroundTemperature = 18.0;     // C
constexpr double kLapseRate = 6.5e-3;           // K/m below the tropopause
constexpr double kTropopause = 11500.0;         // m
constexpr double kStratosphereBase = 20000.0;   // m, where the isothermal layer ends
constexpr double kStratosphereWarming = 1.0e-3; // K/m above it
constexpr double kGroundPressure = 1013.25;     // hPa
constexpr double kScaleHeight = 7000.0;         // m, for pressure and air density

// The parachute falls at kLandingSpeed near the ground, faster where the air is thin:
// v = v0 exp(h / 2H), which integrates to exp(-h / 2H) growing linearly with time.
constexpr double kLandingSpeed = 6.0; // m/s

// Channel mapping (see flightLevels).
constexpr double kTempLow = -60.0, kTempHigh = 20.0; // C at levels 0.2 and 0.8
constexpr double kTempLevel0 = 0.2, kTempLevelSpan = 0.6;
constexpr double kHumdLevel0 = 0.15, kHumdLevelSpan = 0.75;
constexpr double kPressLevel0 = 0.05, kPressLevelSpan = 0.85;

double heightAt(double seconds) {
    if (seconds <= 0.0) return 0.0;
    if (seconds <= kBurstSeconds) return kClimbRate * seconds;
    const double twoH = 2.0 * kScaleHeight;
    const double u =
        std::exp(-kBurstHeight / twoH) + kLandingSpeed * (seconds - kBurstSeconds) / twoH;
    return u >= 1.0 ? 0.0 : -twoH * std::log(u);
}

// exp(-h / 2H) at the burst, where the fall begins; it grows at kLandingSpeed / 2H per second.
double fallStart() {
    return std::exp(-kBurstHeight / (2.0 * kScaleHeight));
}
double fallGrowth() {
    return kLandingSpeed / (2.0 * kScaleHeight); // 1/s
}

double temperatureAt(double h) {
    const double tropopauseT = kGroundTemperature - kLapseRate * kTropopause;
    double t = h < kTropopause ? kGroundTemperature - kLapseRate * h : tropopauseT;
    if (h > kStratosphereBase) t += kStratosphereWarming * (h - kStratosphereBase);
    // A little weather on the profile: a few tenths of a degree of layering.
    return t + 0.4 * std::sin(h / 700.0);
}

double bump(double h, double centre, double width) {
    const double x = (h - centre) / width;
    return std::exp(-0.5 * x * x);
}

// Moist near the ground, a cloud at the boundary layer's top, a deck in the middle
// troposphere and thin cirrus; almost dry above the tropopause.
double humidityAt(double h) {
    const double rh = 78.0 * std::exp(-h / 3500.0) + 30.0 * bump(h, 1500.0, 350.0) +
                      55.0 * bump(h, 5200.0, 800.0) + 20.0 * bump(h, 9300.0, 500.0) +
                      3.0 * std::sin(h / 260.0) + 2.0;
    return std::clamp(rh, 1.0, 100.0);
}

} // namespace

FlightPoint flightAt(double seconds) {
    const double h = heightAt(seconds);
    return {h, temperatureAt(h), kGroundPressure * std::exp(-h / kScaleHeight), humidityAt(h)};
}

double climbRateAt(double seconds) {
    if (seconds < 0.0 || seconds >= landingSeconds()) return 0.0;
    if (seconds <= kBurstSeconds) return kClimbRate;
    // h = -2H ln u with u = u0 + g (t - tb): dh/dt = -2H g / u = -kLandingSpeed / u.
    return -kLandingSpeed / (fallStart() + fallGrowth() * (seconds - kBurstSeconds));
}

double landingSeconds() {
    return kBurstSeconds + (1.0 - fallStart()) / fallGrowth();
}

double heightIntegralAt(double seconds) {
    const double t = std::min(seconds, landingSeconds());
    if (t <= 0.0) return 0.0;
    if (t <= kBurstSeconds) return 0.5 * kClimbRate * t * t;
    // The integral of -2H ln u dt, with du = g dt: -(2H / g) [u ln u - u].
    const auto antiderivative = [](double u) {
        return -(2.0 * kScaleHeight / fallGrowth()) * (u * std::log(u) - u);
    };
    const double u = fallStart() + fallGrowth() * (t - kBurstSeconds);
    return 0.5 * kClimbRate * kBurstSeconds * kBurstSeconds + antiderivative(u) -
           antiderivative(fallStart());
}

SensorLevels flightLevels(double seconds) {
    const FlightPoint p = flightAt(seconds);
    const double humidity2 = std::min(100.0, 0.97 * p.humidityPct + 3.0);
    return {kTempLevel0 + kTempLevelSpan * (p.temperatureC - kTempLow) / (kTempHigh - kTempLow),
            kHumdLevel0 + kHumdLevelSpan * p.humidityPct / 100.0,
            kHumdLevel0 + kHumdLevelSpan * humidity2 / 100.0,
            kPressLevel0 + kPressLevelSpan * p.pressureHPa / kGroundPressure};
}

} // namespace nimbo::synth
