// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/flight_summary.h"

#include <algorithm>

namespace nimbo {
namespace {

constexpr unsigned kFrameNumbers = 65536; // frame numbers are 16 bits on both sondes

const char* typeName(FlightSummary::Type type) {
    return type == FlightSummary::Type::Rs92 ? "RS92" : "RS41";
}

// Serials are printable on the RS41 ('?' stands in) but raw bytes on the RS92: escaped so a
// line stays one line and valid JSON.
void writeSerial(std::FILE* out, const std::string& serial, bool json) {
    for (const char ch : serial) {
        const auto c = static_cast<unsigned char>(ch);
        if (json && (c == '"' || c == '\\'))
            std::fprintf(out, "\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            std::fprintf(out, json ? "\\u%04X" : "\\x%02X", c);
        else
            std::fputc(c, out);
    }
}

} // namespace

void FlightSummary::add(Type type, const char* serial, unsigned frameNumber, bool whole,
                        bool repaired, int calPiece) {
    frameNumber %= kFrameNumbers;
    auto it = std::find_if(sondes_.begin(), sondes_.end(),
                           [&](const Sonde& s) { return s.type == type && s.serial == serial; });
    if (it == sondes_.end()) {
        Sonde& s = sondes_.emplace_back();
        s.type = type;
        s.serial = serial;
        s.calTotal = type == Type::Rs92 ? kRs92Pieces : kRs41Pieces;
        s.previousRaw = frameNumber;
        it = std::prev(sondes_.end());
    }
    Sonde& s = *it;
    // The step from the frame before, taken the short way round the 16-bit counter: a wrap
    // goes on counting up, a frame from before (a log replayed out of order) counts down.
    const unsigned step = (frameNumber - s.previousRaw) % kFrameNumbers;
    s.previous += step < kFrameNumbers / 2 ? static_cast<long>(step)
                                           : static_cast<long>(step) - kFrameNumbers;
    s.previousRaw = frameNumber;
    if (s.previous <= s.lowest) {
        s.lowest = s.previous;
        s.firstFrame = frameNumber;
    }
    if (s.previous >= s.highest) {
        s.highest = s.previous;
        s.lastFrame = frameNumber;
    }
    s.expected = s.highest - s.lowest + 1;
    s.whole += whole ? 1 : 0;
    s.repaired += repaired ? 1 : 0;
    if (calPiece >= 0 && calPiece < s.calTotal && !s.pieceSeen[calPiece]) {
        s.pieceSeen[calPiece] = true;
        ++s.calPieces;
    }
}

void FlightSummary::writeText(std::FILE* out) const {
    for (const Sonde& s : sondes_) {
        std::fputs("nimbo-decode: ", out);
        writeSerial(out, s.serial, false);
        std::fprintf(out,
                     " (%s): frames %u to %u, %ld of %ld whole, %ld repaired, calibration %s "
                     "(%d of %d %s)\n",
                     typeName(s.type), s.firstFrame, s.lastFrame, s.whole, s.expected, s.repaired,
                     s.calPieces == s.calTotal ? "complete" : "incomplete", s.calPieces, s.calTotal,
                     s.type == Type::Rs92 ? "pieces" : "subframes");
    }
}

void FlightSummary::writeJson(std::FILE* out) const {
    for (const Sonde& s : sondes_) {
        std::fprintf(out, "{\"type\":\"summary\",\"sonde\":\"%s\",\"serial\":\"", typeName(s.type));
        writeSerial(out, s.serial, true);
        std::fprintf(out,
                     "\",\"first_frame\":%u,\"last_frame\":%u,\"frames_whole\":%ld,"
                     "\"frames_expected\":%ld,\"frames_repaired\":%ld,\"cal_pieces\":%d,"
                     "\"cal_total\":%d,\"cal_complete\":%s}\n",
                     s.firstFrame, s.lastFrame, s.whole, s.expected, s.repaired, s.calPieces,
                     s.calTotal, s.calPieces == s.calTotal ? "true" : "false");
    }
}

} // namespace nimbo
