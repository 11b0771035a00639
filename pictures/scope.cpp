// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/scope.h"

#include <algorithm>

namespace nimbo {

namespace {

constexpr int kCentreY = 75;            // signal 0, the decision threshold
constexpr int kGridSpacing = 60;        // pixels: one symbol of 10 samples
constexpr int kGridColumns = 4;         // x = 0, 60, 120, 180
constexpr int kGridBottom = 150;        // grid columns run from y = 0 to here
constexpr int kPixelsPerSample = 6;     // horizontal
constexpr double kUnitsPerPixel = 60.0; // vertical, upwards positive
constexpr Colour kGridColour = clGray;

// Row of a signal value: 75 - value / 60, toward zero. NaN has no row.
bool rowOf(double value, int& y) {
    return truncToPixel(kCentreY - value / kUnitsPerPixel, y);
}

} // namespace

void Scope::DrawScope(const double* demodSignal, const uint8_t* symbolTicks) {
    scopeHistory_[0] = scopeHistory_[1];
    scopeHistory_[1] = scopeHistory_[2];
    std::copy_n(demodSignal, kBlockSamples, scopeHistory_[2].signal.begin());
    std::copy_n(symbolTicks, kBlockSamples, scopeHistory_[2].ticks.begin());

    Raster& bmp = scopeBitmap_;
    bmp.fill(clBlack);
    bmp.setPen(kGridColour, PenStyle::Dotted);
    bmp.moveTo(0, kCentreY);
    bmp.lineTo(bmp.width(), kCentreY);
    for (int l = 0; l < kGridColumns; ++l) {
        bmp.moveTo(kGridSpacing * l, 0);
        bmp.lineTo(kGridSpacing * l, kGridBottom);
    }
    for (int r = 0; r < kRows; ++r) {
        bmp.setPen(scopeColours[r]);
        drawRow(scopeHistory_[r]);
    }
}

// Every third tick starts a trace at the left edge; a trace runs on, 6 pixels per sample,
// until the next start, past the right edge (clipped) if the ticks stop. A segment with
// a NaN end is left out.
void Scope::drawRow(const Row& row) {
    int column = 0; // of the next segment's end; 0: no trace started yet
    int ticks = 0;
    int y1 = 0;
    bool haveY1 = rowOf(row.signal[0], y1);
    for (int k = 0; k + 1 < kBlockSamples; ++k) {
        const int y0 = y1;
        const bool haveY0 = haveY1;
        haveY1 = rowOf(row.signal[k + 1], y1);
        if (row.ticks[k] && ++ticks >= kTicksPerTrace) {
            column = 1;
            ticks = 0;
        }
        if (column == 0) continue;
        if (haveY0 && haveY1) {
            scopeBitmap_.moveTo((column - 1) * kPixelsPerSample, y0);
            scopeBitmap_.lineTo(column * kPixelsPerSample, y1);
        }
        ++column;
    }
}

} // namespace nimbo
