// SPDX-License-Identifier: GPL-3.0-or-later
// The flight behind nimbo-synth --flight: a balloon sonde climbing at 5 m/s, bursting near
// 31 km and falling under its parachute, as the weather it meets on the way.
#pragma once

namespace nimbo::synth {

inline constexpr double kClimbRate = 5.0;                          // m/s
inline constexpr double kBurstHeight = 31000.0;                    // m
inline constexpr double kBurstSeconds = kBurstHeight / kClimbRate; // 6200 s, 103 min

struct FlightPoint {
    double heightM;
    double temperatureC;
    double pressureHPa;
    double humidityPct; // relative humidity over water
};

// Where the sonde is and what it measures `seconds` after launch (0 and before: on the
// ground). After landing it stays on the ground.
FlightPoint flightAt(double seconds);

// The rate of climb at `seconds` after launch, m/s: +5 on the way up (from launch, 0 s, to the
// burst), negative under the parachute, 0 on the ground before launch and after landing.
double climbRateAt(double seconds);
// Seconds from launch to landing (about 8280).
double landingSeconds();
// The height integrated over time from launch to `seconds`, m s (for drift in a wind that
// grows with height).
double heightIntegralAt(double seconds);

// The measuring channels as positions between the low (0) and high (1) references.
struct SensorLevels {
    double temperature;
    double humidity1;
    double humidity2;
    double pressure;
};

// The flight's sensor readings: temperature 18..-57 C over 0.79..0.23, relative humidity
// 0..100 % over 0.15..0.90 (the second sensor reads a little high), pressure 1013..0 hPa
// over 0.90..0.05.
SensorLevels flightLevels(double seconds);

} // namespace nimbo::synth
