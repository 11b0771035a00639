// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/frame_layout.h"

#include "decode/crc16.h"

namespace nimbo {

uint32_t readCellsLE(const uint8_t* cells, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 1) | (cells[i] & 1u);
    return value;
}

void packFrameBytes(const uint8_t* frameBits, uint8_t* bytes) {
    for (int n = 0; n < kFrameBytes; ++n)
        bytes[n] = static_cast<uint8_t>(readCellsLE(frameBits + 8 * n, 8));
}

void unpackFrameBytes(const uint8_t* bytes, uint8_t* frameBits) {
    for (int n = 0; n < kFrameBytes; ++n)
        for (int k = 0; k < 8; ++k)
            frameBits[8 * n + k] = (bytes[n] >> k) & 1u;
}

bool checkBlockCrc(const uint8_t* bytes, int first, int last) {
    const uint16_t stored = static_cast<uint16_t>(bytes[last + 1] | (bytes[last + 2] << 8));
    return crc16CcittFalse(bytes + first, static_cast<std::size_t>(last - first + 1)) == stored;
}

} // namespace nimbo
