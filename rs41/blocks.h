// SPDX-License-Identifier: GPL-3.0-or-later
// The blocks of an RS41 frame: from byte 57, ID, length L, L data bytes and a CRC-16 over
// the data, stored low byte first. The walk records each block and whether its CRC holds.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "dsp/rs41_air.h"

namespace nimbo::rs41 {

inline constexpr int kBlocksStart = kLengthByte + 1; // 57
inline constexpr int kBlockHeadBytes = 2;            // ID, length
inline constexpr int kBlockCrcBytes = 2;

// Block IDs.
inline constexpr uint8_t kStatusBlock = 0x79;      // frame number, serial, calibration
inline constexpr uint8_t kMeasurementBlock = 0x7A; // raw sensor counts
inline constexpr uint8_t kGpsPositionBlock = 0x7B; // ECEF position and velocity
inline constexpr uint8_t kGpsInfoBlock = 0x7C;     // GPS week and time of week
inline constexpr uint8_t kGpsRawBlock = 0x7D;      // raw GPS measurements
inline constexpr uint8_t kXdataBlock = 0x7E;       // an extra instrument's data
inline constexpr uint8_t kPaddingBlock = 0x76;     // fills the frame to its end

struct Block {
    uint8_t id = 0;
    uint8_t length = 0; // data bytes
    uint16_t data = 0;  // frame position of the first data byte
    bool crcOk = false;
};

// Every block has at least its head and CRC, so a frame holds at most this many.
inline constexpr int kMaxBlocks =
    (kMaxFrameBytes - kBlocksStart) / (kBlockHeadBytes + kBlockCrcBytes);

struct BlockWalk {
    std::array<Block, kMaxBlocks> blocks{};
    int count = 0;
    // The blocks end exactly at the frame's end; false when the last one (or its head) runs
    // past it: that block is not listed.
    bool complete = false;
    bool allCrcOk = false; // complete, at least one block, and every CRC holds
};

// Walks the blocks of a descrambled frame (its span is the whole frame, 320 or 518 bytes).
void walkBlocks(std::span<const uint8_t> frame, BlockWalk& walk);

} // namespace nimbo::rs41
