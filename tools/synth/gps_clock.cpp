// SPDX-License-Identifier: GPL-3.0-or-later
// UTC text to seconds by the civil calendar, and seconds to GPS time through the decoder's own
// leap second table, so that what nimbo-synth sends and what the decoder reads agree.
#include "tools/synth/gps_clock.h"

#include <cstdio>

#include "rs41/gps_time.h"

namespace nimbo::synth {

namespace {

constexpr int kFirstYear = 1980, kLastYear = 2099;
constexpr int64_t kSecondsPerDay = 86400;

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a civil date (years 1970 and later).
int64_t daysFromCivil(int y, int m, int d) {
    int64_t days = 0;
    for (int year = 1970; year < y; ++year)
        days += leapYear(year) ? 366 : 365;
    for (int month = 1; month < m; ++month)
        days += daysInMonth(y, month);
    return days + d - 1;
}

} // namespace

bool parseUtcIso(const std::string& text, int64_t& unixSeconds) {
    int y, mo, d, h, mi, s, used = 0;
    char t;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &t, &h, &mi, &s,
                    &used) != 7)
        return false;
    const std::string rest = text.substr(static_cast<std::size_t>(used));
    // Exactly 19 characters before the optional Z: every field has its two (four) digits.
    if (used != 19 || (t != 'T' && t != ' ') || !(rest.empty() || rest == "Z")) return false;
    if (y < kFirstYear || y > kLastYear || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) ||
        h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
        if (text[i] < '0' || text[i] > '9') return false; // no signs or spaces inside fields
    const int64_t seconds = daysFromCivil(y, mo, d) * kSecondsPerDay + h * 3600 + mi * 60 + s;
    if (seconds < rs41::kGpsEpochUnix) return false;
    unixSeconds = seconds;
    return true;
}

GpsTime gpsFromUtc(int64_t unixSeconds) {
    // The table is indexed by GPS time: the count L with gpsMinusUtc(utc + L) == L. Both the
    // old and the new count satisfy that in the first second after a step (the old one names the
    // inserted second 23:59:60), so it is sought from above, where the new count is found first.
    constexpr int kAboveAnyCount = 100; // s, more than GPS - UTC will ever be
    int leap = rs41::gpsMinusUtc(unixSeconds + kAboveAnyCount);
    for (int next = rs41::gpsMinusUtc(unixSeconds + leap); next != leap;
         next = rs41::gpsMinusUtc(unixSeconds + leap))
        leap = next;
    const int64_t gps = unixSeconds + leap - rs41::kGpsEpochUnix;
    GpsTime g;
    g.week = static_cast<int>(gps / rs41::kSecondsPerWeek);
    g.towMs = static_cast<uint32_t>(gps % rs41::kSecondsPerWeek * 1000);
    return g;
}

} // namespace nimbo::synth
