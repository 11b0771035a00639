// SPDX-License-Identifier: GPL-3.0-or-later
// The RS41 sonde's clock for nimbo-synth: a UTC start time read from ISO text, and UTC turned
// into GPS week and time of week with the leap seconds of the date.
#pragma once

#include <cstdint>
#include <string>

namespace nimbo::synth {

// Seconds since 1970-01-01T00:00:00Z of "YYYY-MM-DDTHH:MM:SS" with an optional "Z" (a space
// may stand for the T), years 1980..2099 and at or after the GPS epoch (1980-01-06); false
// for anything else, the leap second 23:59:60 included.
bool parseUtcIso(const std::string& text, int64_t& unixSeconds);

struct GpsTime {
    int week = 0;       // since 1980-01-06, not wrapped at 1024
    uint32_t towMs = 0; // time of week, 0..604799999
};

// GPS time of a UTC instant (seconds since 1970, at or after the GPS epoch): GPS runs ahead of
// UTC by the leap seconds since 1980 (16 s from 2012-07-01, 17 from 2015-07-01, 18 from
// 2017-01-01).
GpsTime gpsFromUtc(int64_t unixSeconds);

} // namespace nimbo::synth
