// SPDX-License-Identifier: GPL-3.0-or-later
#include "rs41/track_logs.h"

#include <cstdio>

#include "decode/log_files.h"

namespace nimbo::rs41 {
namespace {

// The serial as XML text (it is printable ASCII already: unprintable bytes read as '?').
std::string xmlText(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += *p;
        }
    }
    return out;
}

} // namespace

bool logFrame(const std::string& folder, const Rs41Frame& f, FlightLogs& logs) {
    if (!f.good || !f.hasStatus) return true;
    const char* serial = f.serial.data();
    std::string error;
    std::string raw;
    raw.reserve(2 * static_cast<std::size_t>(f.frameBytes));
    for (int i = 0; i < f.frameBytes; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", f.bytes[static_cast<std::size_t>(i)]);
        raw += hex;
    }
    bool ok = logs.noteWrite(
        appendLine(sondeFilePath(folder, "rs41raw", serial, ".txt"), raw, &error), error);
    if (!f.hasPosition || !f.hasTime) return ok;

    char line[256];
    std::snprintf(line, sizeof line, "%s,%u,%.6f,%.6f,%.2f,%.2f,%.1f,%.2f,%d", f.datetime.data(),
                  static_cast<unsigned>(f.frameNumber), f.position.latitudeDeg,
                  f.position.longitudeDeg, f.position.heightM, f.motion.horizontal,
                  f.motion.headingDeg, f.motion.up, f.satellites);
    ok = logs.noteWrite(
             appendLine(sondeFilePath(folder, "track", serial, ".csv"), line, &error, kTrackHeader),
             error) &&
         ok;

    char point[256];
    std::snprintf(point, sizeof point,
                  "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%.2f</ele><time>%s</time><sat>%d</sat>"
                  "</trkpt>",
                  f.position.latitudeDeg, f.position.longitudeDeg, f.position.heightM,
                  f.datetime.data(), f.satellites);
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<gpx version=\"1.1\" creator=\"NIMBO\" "
                             "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                             "<trk><name>" +
                             xmlText(serial) + "</name><trkseg>";
    ok = logs.noteWrite(insertBeforeTail(sondeFilePath(folder, "gpx", serial, ".gpx"), head, point,
                                         kGpxTail, &error),
                        error) &&
         ok;
    return ok;
}

} // namespace nimbo::rs41
