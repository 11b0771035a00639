// SPDX-License-Identifier: GPL-3.0-or-later
// GPS time to UTC: the published GPS - UTC steps, and civil dates from day counts.
#include "rs41/gps_time.h"

#include <algorithm>

namespace nimbo::rs41 {

namespace {

// UTC midnights (seconds since 1970) from which GPS - UTC took each value: every leap second
// since the GPS epoch, the last at the end of 2016. A later one needs a new row.
struct Step {
    int64_t utcFrom;
    int leap;
};
constexpr Step kSteps[] = {
    {362793600, 1},   // 1981-07-01
    {394329600, 2},   // 1982-07-01
    {425865600, 3},   // 1983-07-01
    {489024000, 4},   // 1985-07-01
    {567993600, 5},   // 1988-01-01
    {631152000, 6},   // 1990-01-01
    {662688000, 7},   // 1991-01-01
    {709948800, 8},   // 1992-07-01
    {741484800, 9},   // 1993-07-01
    {773020800, 10},  // 1994-07-01
    {820454400, 11},  // 1996-01-01
    {867715200, 12},  // 1997-07-01
    {915148800, 13},  // 1999-01-01
    {1136073600, 14}, // 2006-01-01
    {1230768000, 15}, // 2009-01-01
    {1341100800, 16}, // 2012-07-01
    {1435708800, 17}, // 2015-07-01
    {1483228800, 18}, // 2017-01-01
};

constexpr int64_t kSecondsPerDay = 86400;

// Civil date of a day count since 1970-01-01 (proleptic Gregorian, eras of 400 years).
void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;                                      // 0..146096
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365; // 0..399
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);               // 0..365
    const int64_t mp = (5 * doy + 2) / 153;                                    // March = 0
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

} // namespace

int gpsMinusUtc(int64_t gpsUnixSeconds) {
    // A step applies once UTC (GPS minus the new count) has reached its midnight.
    for (int i = static_cast<int>(std::size(kSteps)) - 1; i >= 0; --i)
        if (gpsUnixSeconds - kSteps[i].leap >= kSteps[i].utcFrom) return kSteps[i].leap;
    return 0;
}

UtcTime utcFromGps(int week, uint32_t towMs) {
    const int64_t gps = kGpsEpochUnix + static_cast<int64_t>(week) * kSecondsPerWeek + towMs / 1000;
    UtcTime t;
    t.milliseconds = static_cast<int>(towMs % 1000);
    t.leapSeconds = gpsMinusUtc(gps);
    t.unixSeconds = gps - t.leapSeconds;
    // The second inserted before a step: GPS has reached the midnight under the old count,
    // not yet under the new one.
    for (const Step& s : kSteps)
        if (gps - (s.leap - 1) == s.utcFrom) {
            t.leapSecond = true;
            t.unixSeconds = s.utcFrom - 1;
        }
    return t;
}

IsoText isoDateTime(const UtcTime& t) {
    const int64_t days =
        (t.unixSeconds >= 0 ? t.unixSeconds : t.unixSeconds - kSecondsPerDay + 1) / kSecondsPerDay;
    const int64_t second = t.unixSeconds - days * kSecondsPerDay;
    int64_t y;
    int m, d;
    civilFromDays(days, y, m, d);
    // Digits placed by hand: every field has its width, so the text is always 20 characters.
    IsoText text{};
    const int fields[] = {static_cast<int>(std::clamp<int64_t>(y, 0, 9999)),
                          m,
                          d,
                          static_cast<int>(second / 3600),
                          static_cast<int>(second / 60 % 60),
                          static_cast<int>(second % 60) + (t.leapSecond ? 1 : 0)};
    const char separators[] = "--T::Z";
    int at = 0;
    for (int i = 0; i < 6; ++i) {
        const int width = i == 0 ? 4 : 2;
        int v = fields[i];
        for (int k = width - 1; k >= 0; --k, v /= 10)
            text[at + k] = static_cast<char>('0' + v % 10);
        at += width;
        text[at++] = separators[i];
    }
    return text;
}

} // namespace nimbo::rs41
