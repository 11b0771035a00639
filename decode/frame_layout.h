// SPDX-License-Identifier: GPL-3.0-or-later
// Byte positions of the 220-byte telemetry frame and the helpers that read it.
#pragma once

#include <cstdint>

#include "dsp/frame_sync.h"

namespace nimbo {

// Temp, Humd1, Humd2, RefH1, RefH2, Press, RefL1, RefL2: slot k of every such table.
inline constexpr int kSensorChannels = 8;

namespace frame {
inline constexpr int kFrameNumber = 32; // unsigned 16-bit
inline constexpr int kSerial = 36;      // 8 ASCII characters
inline constexpr int kSerialLength = 8;
inline constexpr int kFlags = 45; // bit 3: humidity sensor switch
inline constexpr int kHumidSwapBit = 3;
inline constexpr int kCalIndex = 47;
inline constexpr int kCalPiece = 48; // 16 bytes
inline constexpr int kCalPieceLength = 16;
inline constexpr int kFreqCode = 50; // in piece 0: unsigned 16-bit, 10 kHz steps over 400 MHz
inline constexpr int kSensors = 68;  // eight unsigned 24-bit channels

// The CRC-protected blocks: data bytes first..last, CRC low byte first at last + 1.
struct Block {
    int first;
    int last;
};
inline constexpr Block kSondeBlock{32, 63};
inline constexpr Block kSensorBlock{68, 91};
inline constexpr Block kGpsBlock{96, 217};
} // namespace frame

// The little-endian value of `count` (1..32) consecutive cells of 0/1 bits.
uint32_t readCellsLE(const uint8_t* cells, int count);

// Packs frameBits (1760 cells) into the 220 content bytes.
void packFrameBytes(const uint8_t* frameBits, uint8_t* bytes);
// The reverse: 220 content bytes into 1760 cells, bit k of byte n at 8n + k.
void unpackFrameBytes(const uint8_t* bytes, uint8_t* frameBits);

// True when the CRC over bytes first..last equals the value stored after them.
bool checkBlockCrc(const uint8_t* bytes, int first, int last);

} // namespace nimbo
