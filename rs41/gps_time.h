// SPDX-License-Identifier: GPL-3.0-or-later
// GPS week and time of week to UTC, with the leap seconds of the date, and the ISO text.
#pragma once

#include <array>
#include <cstdint>

namespace nimbo::rs41 {

inline constexpr int64_t kGpsEpochUnix = 315964800; // 1980-01-06T00:00:00Z
inline constexpr int64_t kSecondsPerWeek = 604800;
inline constexpr uint32_t kMillisecondsPerWeek = 604800000;

struct UtcTime {
    int64_t unixSeconds = 0; // seconds since 1970-01-01T00:00:00Z, leap seconds not counted
    int milliseconds = 0;    // 0..999
    // The inserted second 23:59:60: unixSeconds is then that of 23:59:59.
    bool leapSecond = false;
    int leapSeconds = 0; // GPS - UTC applied
};

// GPS - UTC in seconds at a GPS time given as seconds since 1970 on the GPS scale (GPS
// seconds since its epoch + kGpsEpochUnix): 0 at the epoch up to 18 from 2017-01-01.
int gpsMinusUtc(int64_t gpsUnixSeconds);

// UTC of GPS week (since 1980-01-06, not wrapped at 1024) and time of week in ms
// (0..604799999; the caller rejects larger values).
UtcTime utcFromGps(int week, uint32_t towMs);

// "2014-07-07T12:37:38Z" (seconds truncated), 20 characters and a NUL.
using IsoText = std::array<char, 21>;
IsoText isoDateTime(const UtcTime& t);

} // namespace nimbo::rs41
