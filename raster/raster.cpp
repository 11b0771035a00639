// SPDX-License-Identifier: GPL-3.0-or-later
#include "raster/raster.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace nimbo {

Raster::Raster(int width, int height) {
    resize(width, height);
}

Raster::Raster(const Raster& other) {
    *this = other;
}

Raster& Raster::operator=(const Raster& other) {
    if (this == &other) return *this;
    resize(other.width_, other.height_);
    if (byteCount() > 0) std::memcpy(pixels_.get(), other.pixels_.get(), byteCount());
    penColour_ = other.penColour_;
    penStyle_ = other.penStyle_;
    penX_ = other.penX_;
    penY_ = other.penY_;
    return *this;
}

void Raster::resize(int width, int height) {
    width_ = std::clamp(width, 0, kMaxSide);
    height_ = std::clamp(height, 0, kMaxSide);
    stride_ = (3 * width_ + 3) / 4 * 4;
    // One byte at least, so an empty image still has a valid pointer.
    pixels_.reset(static_cast<uint8_t*>(std::calloc(std::max<std::size_t>(byteCount(), 1), 1)));
    if (!pixels_) throw std::bad_alloc();
}

void Raster::fill(Rect rect, Colour colour) {
    const int left = std::max(rect.left, 0);
    const int right = std::min(rect.right, width_);
    const int top = std::max(rect.top, 0);
    const int bottom = std::min(rect.bottom, height_);
    if (left >= right || top >= bottom) return;
    for (int x = left; x < right; ++x)
        put(x, top, colour);
    const std::size_t bytes = 3 * static_cast<std::size_t>(right - left);
    for (int y = top + 1; y < bottom; ++y)
        std::memcpy(at(left, y), at(left, top), bytes);
}

void Raster::setPixel(int x, int y, Colour colour) {
    if (x >= 0 && x < width_ && y >= 0 && y < height_) put(x, y, colour);
}

Colour Raster::pixel(int x, int y) const {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return clBlack;
    const uint8_t* p = at(x, y);
    return Colour(p[0]) | Colour(p[1]) << 8 | Colour(p[2]) << 16;
}

void Raster::setPen(Colour colour, PenStyle style) {
    penColour_ = colour;
    penStyle_ = style;
}

void Raster::moveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

void Raster::lineTo(int x, int y) {
    line(penX_, penY_, x, y);
    moveTo(x, y);
}

// Pixel i of a line, 0 <= i < am, lies at major = m0 + sm * i and minor = n0 + sn * q(i),
// with q(i) = floor((2 * i * an + am - 1) / (2 * am)): i * an / am to the nearest integer,
// exact halves down. The major axis is clipped first, so a line never visits more pixels
// than the image is long, whatever its ends; the minor axis is tested per pixel.
void Raster::line(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    // Both ends beyond the same edge: nothing to draw.
    if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 >= width_ && x1 >= width_) ||
        (y0 >= height_ && y1 >= height_))
        return;
    const int64_t adx = x1 > x0 ? x1 - x0 : x0 - x1;
    const int64_t ady = y1 > y0 ? y1 - y0 : y0 - y1;
    const bool xMajor = adx >= ady;
    const int64_t am = xMajor ? adx : ady;
    const int64_t an = xMajor ? ady : adx;
    if (am == 0) return;
    const int64_t m0 = xMajor ? x0 : y0;
    const int64_t n0 = xMajor ? y0 : x0;
    const int64_t sm = (xMajor ? x1 > x0 : y1 > y0) ? 1 : -1;
    const int64_t sn = (xMajor ? y1 > y0 : x1 > x0) ? 1 : -1;
    const int64_t mSize = xMajor ? width_ : height_;
    const int64_t nSize = xMajor ? height_ : width_;

    const int64_t first = std::max<int64_t>(0, sm > 0 ? -m0 : m0 - mSize + 1);
    const int64_t end = std::min<int64_t>(am, sm > 0 ? mSize - m0 : m0 + 1);
    if (first >= end) return;

    const int64_t twoAm = 2 * am;
    int64_t q = 0;
    int64_t rest = am - 1;
    if (first > 0) { // a start off the image: 2 * first * an may need more than 64 bits
        const __int128 start = __int128(2) * first * an + am - 1;
        q = static_cast<int64_t>(start / twoAm);
        rest = static_cast<int64_t>(start % twoAm);
    }
    // Walk by byte offsets; a pixel is written only while the minor coordinate is inside.
    const int64_t mBytes = xMajor ? 3 : stride_;
    const int64_t nBytes = xMajor ? stride_ : 3;
    int64_t n = n0 + sn * q;
    int64_t offset = (m0 + sm * first) * mBytes + n * nBytes;
    const uint8_t rgb[3] = {redOf(penColour_), greenOf(penColour_), blueOf(penColour_)};
    const bool dotted = penStyle_ == PenStyle::Dotted;
    for (int64_t i = first; i < end; ++i) {
        if (n >= 0 && n < nSize && !(dotted && (i & 1))) std::memcpy(pixels_.get() + offset, rgb, 3);
        offset += sm * mBytes;
        rest += 2 * an;
        if (rest >= twoAm) {
            rest -= twoAm;
            n += sn;
            offset += sn * nBytes;
        }
    }
}

void Raster::copyRect(Rect source, int x, int y) {
    // Work in 64 bits: the offsets between far-off rectangles may not fit an int.
    int64_t left = source.left, top = source.top;
    int64_t right = source.right, bottom = source.bottom;
    const int64_t dx = int64_t(x) - left, dy = int64_t(y) - top;
    // Clip the source to the image, then its image at the destination.
    left = std::max<int64_t>({left, 0, -dx});
    top = std::max<int64_t>({top, 0, -dy});
    right = std::min<int64_t>({right, width_, width_ - dx});
    bottom = std::min<int64_t>({bottom, height_, height_ - dy});
    if (left >= right || top >= bottom) return;

    const std::size_t bytes = 3 * static_cast<std::size_t>(right - left);
    const auto row = [&](int64_t sy) {
        std::memmove(at(int(left + dx), int(sy + dy)), at(int(left), int(sy)), bytes);
    };
    // Rows moving down are copied bottom first, so that no source row is overwritten
    // before it has been read; memmove takes care of overlap within a row.
    if (dy > 0)
        for (int64_t sy = bottom - 1; sy >= top; --sy)
            row(sy);
    else
        for (int64_t sy = top; sy < bottom; ++sy)
            row(sy);
}

} // namespace nimbo
