// SPDX-License-Identifier: GPL-3.0-or-later
// The signal scope: the last three blocks of the conditioned signal drawn as an eye
// pattern, traces of three symbols each starting at a symbol-clock tick.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/signal.h"
#include "raster/raster.h"

namespace nimbo {

class Scope {
  public:
    static constexpr int kWidth = 180; // Image1
    static constexpr int kHeight = 150;
    static constexpr int kRows = 3;          // blocks shown, oldest first
    static constexpr int kTicksPerTrace = 3; // a trace starts at every third tick of a row

    struct Row {
        std::array<double, kBlockSamples> signal{};
        std::array<uint8_t, kBlockSamples> ticks{}; // non-zero where the clock ticked
    };

    Scope() : scopeBitmap_(kWidth, kHeight) {}

    // Takes the block just processed (kBlockSamples values and tick flags) into the
    // history and redraws scopeBitmap from the three rows; the window then shows it.
    void DrawScope(const double* demodSignal, const uint8_t* symbolTicks);

    static constexpr Colour kLightGrey = 0xDCDCDC;
    // Oldest grey, then light grey, the newest white.
    static constexpr std::array<Colour, kRows> scopeColours = {clGray, kLightGrey, clWhite};

    // Zeros without ticks until three blocks came.
    const std::array<Row, kRows>& scopeHistory() const { return scopeHistory_; }
    const Raster& scopeBitmap() const { return scopeBitmap_; }

  private:
    void drawRow(const Row& row);

    std::array<Row, kRows> scopeHistory_{};
    Raster scopeBitmap_;
};

} // namespace nimbo
