// SPDX-License-Identifier: GPL-3.0-or-later
// The block walk of an RS41 frame with each block's CRC.
#include "rs41/blocks.h"

#include "decode/crc16.h"

namespace nimbo::rs41 {

void walkBlocks(std::span<const uint8_t> frame, BlockWalk& walk) {
    const int frameBytes = static_cast<int>(frame.size());
    walk.count = 0;
    walk.complete = false;
    walk.allCrcOk = false;
    bool crcs = true;
    int p = kBlocksStart;
    while (p < frameBytes) {
        if (p + kBlockHeadBytes > frameBytes) return;
        const int length = frame[p + 1];
        const int data = p + kBlockHeadBytes;
        const int crcAt = data + length;
        if (crcAt + kBlockCrcBytes > frameBytes || walk.count == kMaxBlocks) return;
        const uint16_t stored = static_cast<uint16_t>(frame[crcAt] | frame[crcAt + 1] << 8);
        Block& b = walk.blocks[walk.count++];
        b.id = frame[p];
        b.length = static_cast<uint8_t>(length);
        b.data = static_cast<uint16_t>(data);
        b.crcOk = crc16CcittFalse(frame.data() + data, static_cast<std::size_t>(length)) == stored;
        crcs = crcs && b.crcOk;
        p = crcAt + kBlockCrcBytes;
    }
    walk.complete = p == frameBytes;
    walk.allCrcOk = walk.complete && walk.count > 0 && crcs;
}

} // namespace nimbo::rs41
