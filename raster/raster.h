// SPDX-License-Identifier: GPL-3.0-or-later
// A small 24-bit image with the drawing primitives of the scope, the sensor graph and the
// frame data display. Origin top left; every primitive is clipped to the image.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "raster/colour.h"

namespace nimbo {

enum class PenStyle {
    Solid,
    Dotted, // every other pixel of a line, starting with its first; the gaps are untouched
};

// A rectangle of pixels: left and top included, right and bottom excluded.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Where values beyond any image are held. A line from a pixel inside an image to such a
// point, whose other coordinate changes by fewer than 8192 pixels, shows exactly the
// pixels of the line to the true, farther point: within kMaxSide of its start both lines
// stay within half a pixel of their starting row or column.
inline constexpr int kFarPixel = 1 << 30;

// trunc(v), toward zero, as a pixel coordinate held within +-kFarPixel (infinities
// included). NaN has no position: the result is false and `pixel` is left alone.
inline bool truncToPixel(double v, int& pixel) {
    if (std::isnan(v)) return false;
    pixel = static_cast<int>(std::trunc(std::clamp(v, -double(kFarPixel), double(kFarPixel))));
    return true;
}

class Raster {
  public:
    static constexpr int kMaxSide = 32767; // larger requested sizes are cut to this

    Raster(int width, int height);
    Raster(const Raster& other);
    Raster& operator=(const Raster& other);
    Raster(Raster&&) noexcept = default;
    Raster& operator=(Raster&&) noexcept = default;

    // New size, black; negative sizes give an empty image. The only other allocation.
    void resize(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Raw pixels for wrapping without a copy: rows top first, `stride()` bytes apart (a
    // multiple of 4), each pixel three bytes in the order red, green, blue (the layout of
    // QImage::Format_RGB888). The pointer changes only on resize.
    uint8_t* bits() { return pixels_.get(); }
    const uint8_t* bits() const { return pixels_.get(); }
    int stride() const { return stride_; }

    void fill(Colour colour) { fill(Rect{0, 0, width_, height_}, colour); }
    void fill(Rect rect, Colour colour);

    // Sets one pixel if it lies inside the image; outside pixels are skipped.
    void setPixel(int x, int y, Colour colour);
    // The pixel's colour; black outside the image.
    Colour pixel(int x, int y) const;

    void setPen(Colour colour, PenStyle style = PenStyle::Solid);

    void moveTo(int x, int y);
    // Draws from the pen position to (x, y) with the pen, including the start pixel and
    // excluding the end pixel, then moves the pen there. A line of zero length draws
    // nothing. Pixels follow the nearest-pixel (Bresenham) rule along the major axis; a
    // point exactly half-way between two pixels takes the one nearer the start. A dotted
    // pattern restarts at the first pixel of every line.
    void lineTo(int x, int y);

    // Copies `source` so that its top-left corner lands on (x, y); overlapping source
    // and destination are fine (the graph scrolls down one row this way). Parts of either
    // rectangle outside the image are left out.
    void copyRect(Rect source, int x, int y);

  private:
    void line(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
    std::size_t offsetOf(int x, int y) const {
        return static_cast<std::size_t>(y) * stride_ + 3 * static_cast<std::size_t>(x);
    }
    uint8_t* at(int x, int y) { return pixels_.get() + offsetOf(x, y); }
    const uint8_t* at(int x, int y) const { return pixels_.get() + offsetOf(x, y); }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * height_; }
    void put(int x, int y, Colour colour) {
        uint8_t* p = at(x, y);
        p[0] = redOf(colour);
        p[1] = greenOf(colour);
        p[2] = blueOf(colour);
    }

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    // From calloc: a large image comes as untouched zero (black) pages from the system,
    // so an image that is never drawn on (the decoder without a window) costs nothing.
    struct FreePixels {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], FreePixels> pixels_;
    Colour penColour_ = clBlack;
    PenStyle penStyle_ = PenStyle::Solid;
    int penX_ = 0;
    int penY_ = 0;
};

} // namespace nimbo
