// SPDX-License-Identifier: GPL-3.0-or-later
// A frame as the sonde sends it: its bytes and their places, and how each byte goes out as
// symbols. The receivers and the decoders that repair and read its bytes share these sizes.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "dsp/frame_sync.h"
#include "dsp/signal.h"

namespace nimbo::sent {

// On the air: Manchester symbols, two per bit; ten bits per byte.
inline constexpr int kSymbolRate = 4800; // symbols per second
inline constexpr int kSymbolsPerBit = 2;
inline constexpr int kBitRate = kSymbolRate / kSymbolsPerBit;         // 2400 bit/s
inline constexpr int kDataBitsPerByte = 8;                            // least significant first
inline constexpr int kStartBit = 0;                                   // sent before the data bits
inline constexpr int kStopBit = 1;                                    // sent after them
inline constexpr int kBitsPerByte = 1 + kDataBitsPerByte + 1;         // 10
inline constexpr int kSymbolsPerByte = kBitsPerByte * kSymbolsPerBit; // 20
inline constexpr int kSamplesPerSymbol = kSampleRate / kSymbolRate;   // 10
static_assert(kSamplesPerSymbol * kSymbolRate == kSampleRate, "a whole number of samples");

// The frame: sync bytes, data bytes (the last 20 of them constant), Reed-Solomon parity.
inline constexpr std::array<uint8_t, 6> kSync = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10};
inline constexpr int kSyncBytes = static_cast<int>(kSync.size());
inline constexpr int kDataBytes = 210;
inline constexpr int kParityBytes = 24;
inline constexpr int kParityStart = kSyncBytes + kDataBytes;    // 216
inline constexpr int kFrameBytes = kParityStart + kParityBytes; // 240
// The constant tail that ends the data: the decoder's 20-byte frame header.
inline constexpr int kTailBytes = static_cast<int>(headerPatternBytes.size());
inline constexpr int kTailStart = kParityStart - kTailBytes; // 196

// The described chain's byte slots and header search see the same bytes.
static_assert(FrameSync::kSlotSymbols == kSymbolsPerByte);
static_assert(FrameSync::kHeaderBits == kTailBytes * kDataBitsPerByte);

inline constexpr int kFrameSymbols = kFrameBytes * kSymbolsPerByte;     // 4800
inline constexpr int kFrameSamples = kFrameSymbols * kSamplesPerSymbol; // 48000: one second

// The known byte at sent place b (sync and tail), or -1 where the bytes change.
constexpr int constantByte(int b) {
    if (b >= 0 && b < kSyncBytes) return kSync[static_cast<std::size_t>(b)];
    if (b >= kTailStart && b < kParityStart)
        return headerPatternBytes[static_cast<std::size_t>(b - kTailStart)];
    return -1;
}

using SentBytes = std::span<const uint8_t, kFrameBytes>;
using ParityBytes = std::span<const uint8_t, kParityBytes>;
using Reliabilities = std::span<const float, kFrameBytes>;
// A confidence per data bit: bit j of sent byte b at kDataBitsPerByte b + j.
inline constexpr int kFrameDataBits = kFrameBytes * kDataBitsPerByte;
using BitReliabilities = std::span<const float, kFrameDataBits>;

} // namespace nimbo::sent
