// SPDX-License-Identifier: GPL-3.0-or-later
// The files written for each RS41 sonde while logging is on: the raw frame log (one line of
// hex a good frame), the track as CSV and as a GPX 1.1 track that map programs open, kept
// whole after every frame.
#pragma once

#include <string>

#include "decode/flight_logs.h"
#include "rs41/rs41_frame.h"

namespace nimbo::rs41 {

// Beneath `folder`: rs41raw/<serial>.txt, track/<serial>.csv and gpx/<serial>.gpx. Only a
// good frame is written; the track files only with its position and time. Each write is
// reported to `logs` (its failure episodes, as for the RS92's logs). True when all landed.
bool logFrame(const std::string& folder, const Rs41Frame& frame, FlightLogs& logs);

inline constexpr const char* kTrackHeader = "UTC,Frame,Lat,Lon,Alt,VelH,Heading,VelV,Sats";
inline constexpr const char* kGpxTail = "</trkseg></trk>\n</gpx>";

} // namespace nimbo::rs41
