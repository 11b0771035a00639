// SPDX-License-Identifier: GPL-3.0-or-later
// The frame data display's byte map: the latest good frame and the calibration table as
// annotated byte cells. Lines go on the raster here; the texts are listed with their
// top-left origins for the window to print in its fixed-width face.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "decode/calibration.h"
#include "dsp/frame_sync.h"
#include "raster/raster.h"

namespace nimbo {

// What the byte map shows, borrowed from the decoder for one redraw.
struct ByteMapState {
    std::span<const uint8_t, kFrameBytes> frameDisplayBytes;
    std::span<const uint8_t, CalibrationCollection::kDisplayBytes> calDisplayBytes;
    std::span<const uint32_t, CalibrationCollection::kWords> calWords;
    std::span<const double, CalibrationCollection::kCoefficients> calCoefficients;
    const char* serialNumber; // NUL-terminated, at most 8 characters
};

class ByteMap {
  public:
    static constexpr int kWidth = 5100;
    static constexpr int kHeight = 250;
    static constexpr Colour kBackground = clBlack;
    static constexpr Colour kLineColour = clGray;
    static constexpr Colour kTextColour = clSilver;

    // One text: its top-left corner and its characters (ASCII, NUL-terminated). The
    // longest is a coefficient of the largest single-precision magnitude, 49 characters.
    struct Text {
        int x = 0;
        int y = 0;
        char text[56] = {};
    };
    // Band 1: 38 field labels, 220 indices and values, a caption. Band 2: 24 field labels,
    // 20 decoded values, 31 groups of four texts, 219 indices and values. Band 3: 35 groups
    // of four, 175 indices and values, a caption.
    static constexpr int kMaxTexts = 38 + 440 + 1 + 24 + 20 + 124 + 438 + 140 + 350 + 1;

    ByteMap() : dataBitmap(kWidth, kHeight) {}

    // Draws every line of the map on a black dataBitmap and lists its texts anew.
    void Redraw(const ByteMapState& state);

    // The texts of the last redraw, in drawing order; none before the first.
    std::span<const Text> texts() const { return {texts_.data(), static_cast<size_t>(count_)}; }

    Raster dataBitmap;

  private:
    void line(int x0, int y0, int x1, int y1);
    void text(int x, int y, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void drawFrameBand(const ByteMapState& state);
    void drawCalibrationBand2(const ByteMapState& state);
    void drawCalibrationBand3(const ByteMapState& state);

    std::array<Text, kMaxTexts> texts_{};
    int count_ = 0;
};

} // namespace nimbo
