// SPDX-License-Identifier: GPL-3.0-or-later
// What nimbo-decode heard, sonde by sonde: frame numbers, whole and repaired frames and the
// calibration pieces, for the summary at the end of a run.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace nimbo {

class FlightSummary {
  public:
    enum class Type { Rs92, Rs41 };
    static constexpr int kRs92Pieces = 32; // calibration pieces 0..31, one a frame
    static constexpr int kRs41Pieces = 51; // calibration subframes 0..50, one a frame

    // One frame whose serial and frame number can be trusted (their block passed its check).
    // `frameNumber` counts modulo 65536; `calPiece` -1 when the frame carried none.
    void add(Type type, const char* serial, unsigned frameNumber, bool whole, bool repaired,
             int calPiece);

    struct Sonde {
        Type type = Type::Rs92;
        std::string serial;
        unsigned firstFrame = 0, lastFrame = 0; // the lowest and highest frame numbers heard
        long expected = 0;                      // lastFrame - firstFrame + 1, across wraps
        long whole = 0, repaired = 0;
        int calPieces = 0, calTotal = 0;
        // Frame numbers unwrapped from the first one heard (which is 0).
        long previous = 0, lowest = 0, highest = 0;
        unsigned previousRaw = 0;
        std::array<bool, kRs41Pieces> pieceSeen{};
    };
    // In the order first heard.
    const std::vector<Sonde>& sondes() const { return sondes_; }

    // One line per sonde, e.g. "nimbo-decode: P1234567 (RS92): frames 1 to 60, 57 of 60
    // whole, 3 repaired, calibration complete (32 of 32 pieces)".
    void writeText(std::FILE* out) const;
    // One JSON object per sonde on a line of its own ("type":"summary").
    void writeJson(std::FILE* out) const;

  private:
    std::vector<Sonde> sondes_;
};

} // namespace nimbo
