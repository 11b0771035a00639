// SPDX-License-Identifier: GPL-3.0-or-later
// Colour words 0x00BBGGRR (red in the low byte) and the standard named colours.
#pragma once

#include <cstdint>

namespace nimbo {

using Colour = uint32_t;

inline constexpr Colour clBlack = 0x000000;
inline constexpr Colour clMaroon = 0x000080;
inline constexpr Colour clGreen = 0x008000;
inline constexpr Colour clTeal = 0x808000;
inline constexpr Colour clPurple = 0x800080;
inline constexpr Colour clGray = 0x808080;
inline constexpr Colour clSilver = 0xC0C0C0;
inline constexpr Colour clRed = 0x0000FF;
inline constexpr Colour clLime = 0x00FF00;
inline constexpr Colour clYellow = 0x00FFFF;
inline constexpr Colour clAqua = 0xFFFF00;
inline constexpr Colour clWhite = 0xFFFFFF;

constexpr uint8_t redOf(Colour c) {
    return c & 0xFF;
}
constexpr uint8_t greenOf(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr uint8_t blueOf(Colour c) {
    return (c >> 16) & 0xFF;
}

} // namespace nimbo
