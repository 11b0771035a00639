// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/crc16.h"

#include <array>

namespace nimbo {
namespace {

constexpr uint16_t kPoly = 0x1021;
constexpr uint16_t kPreset = 0xFFFF;

constexpr std::array<uint16_t, 256> makeTable() {
    std::array<uint16_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        uint16_t r = static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ kPoly : (r << 1));
        t[b] = r;
    }
    return t;
}

constexpr std::array<uint16_t, 256> kTable = makeTable();

} // namespace

uint16_t crc16CcittFalse(const uint8_t* data, std::size_t length) {
    uint16_t crc = kPreset;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

} // namespace nimbo
