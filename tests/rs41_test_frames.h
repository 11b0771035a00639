// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 test frames: the real frame as bytes, a block with its CRC, a 518-byte frame.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decode/crc16.h"
#include "rs41/rs41_frame.h"
#include "tests/rs41_real_frame.h"

namespace nimbo::rs41::test {

using Bytes = std::vector<uint8_t>;

inline Bytes real() {
    const auto f = realFrame();
    return Bytes(f.begin(), f.end());
}

inline void putBlock(Bytes& f, int at, uint8_t id, const Bytes& data) {
    f[at] = id;
    f[at + 1] = static_cast<uint8_t>(data.size());
    std::copy(data.begin(), data.end(), f.begin() + at + 2);
    const uint16_t crc = crc16CcittFalse(data.data(), data.size());
    f[at + 2 + data.size()] = crc & 0xFF;
    f[at + 3 + data.size()] = crc >> 8;
}

// The real frame made long: its blocks up to the GPS position (bytes 57..298), 40 bytes of
// XDATA and padding to byte 518, new parity.
inline Bytes longFrame(const Bytes& xdata) {
    Bytes f = real();
    f.resize(kLongFrameBytes);
    f[56] = 0xF0;
    putBlock(f, 299, 0x7E, xdata);
    const int padAt = 299 + 4 + static_cast<int>(xdata.size());
    putBlock(f, padAt, 0x76, Bytes(kLongFrameBytes - padAt - 4, 0));
    EXPECT_TRUE(encodeFrame(f));
    return f;
}

} // namespace nimbo::rs41::test
