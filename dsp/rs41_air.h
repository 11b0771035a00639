// SPDX-License-Identifier: GPL-3.0-or-later
// What an RS41 frame looks like on the air: bit rate, the 8-byte header, the 64-byte
// scrambling mask and the two frame lengths. The receiver and the rs41/ decoder share these.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

namespace nimbo::rs41 {

// GFSK, NRZ: one symbol per bit, no start or stop bits, each byte least significant bit first.
inline constexpr int kBitRate = 4800; // bit/s
inline constexpr int kBitsPerByte = 8;

// Every frame byte i (the header too) is sent XORed with kMask[i % 64].
inline constexpr std::array<uint8_t, 64> kMask = {
    0x96, 0x83, 0x3E, 0x51, 0xB1, 0x49, 0x08, 0x98, 0x32, 0x05, 0x59, 0x0E, 0xF9, 0x44, 0xC6, 0x26,
    0x21, 0x60, 0xC2, 0xEA, 0x79, 0x5D, 0x6D, 0xA1, 0x54, 0x69, 0x47, 0x0C, 0xDC, 0xE8, 0x5C, 0xF1,
    0xF7, 0x76, 0x82, 0x7F, 0x07, 0x99, 0xA2, 0x2C, 0x93, 0x7C, 0x30, 0x63, 0xF5, 0x10, 0x2E, 0x61,
    0xD0, 0xBC, 0xB4, 0xB6, 0x06, 0xAA, 0xF4, 0x23, 0x78, 0x6E, 0x3B, 0xAE, 0xBF, 0x7B, 0x4C, 0xC1};
inline constexpr int kMaskBytes = static_cast<int>(kMask.size());

// The header opening every frame, descrambled, and as it is sent (10 B6 CA 11 22 96 12 F8).
inline constexpr std::array<uint8_t, 8> kHeader = {0x86, 0x35, 0xF4, 0x40, 0x93, 0xDF, 0x1A, 0x60};
inline constexpr int kHeaderBytes = static_cast<int>(kHeader.size());
inline constexpr std::array<uint8_t, kHeaderBytes> kAirHeader = [] {
    std::array<uint8_t, kHeaderBytes> h{};
    for (int i = 0; i < kHeaderBytes; ++i)
        h[i] = static_cast<uint8_t>(kHeader[i] ^ kMask[i]);
    return h;
}();
// The 64 header bits in the order they are sent, bit k of the word = k-th bit on the air.
inline constexpr uint64_t kAirHeaderBits = [] {
    uint64_t w = 0;
    for (int i = 0; i < kHeaderBytes; ++i)
        w |= static_cast<uint64_t>(kAirHeader[i]) << (kBitsPerByte * i);
    return w;
}();

// Frame lengths, chosen by the descrambled byte kLengthByte.
inline constexpr int kShortFrameBytes = 320;
inline constexpr int kLongFrameBytes = 518; // with extra instrument data (XDATA)
inline constexpr int kMaxFrameBytes = kLongFrameBytes;
inline constexpr int kLengthByte = 56;
inline constexpr uint8_t kShortFrameFlag = 0x0F;
inline constexpr uint8_t kLongFrameFlag = 0xF0;

// Frame length the descrambled length byte names: 320, 518, or 0 when it is neither flag.
constexpr int frameBytesFromFlag(uint8_t flag) {
    if (flag == kShortFrameFlag) return kShortFrameBytes;
    if (flag == kLongFrameFlag) return kLongFrameBytes;
    return 0;
}
// The length whose flag is fewer bits away from the byte; 320 on a tie (the common length).
constexpr int nearestFrameBytes(uint8_t flag) {
    const int toShort = std::popcount(static_cast<unsigned>(flag ^ kShortFrameFlag));
    const int toLong = std::popcount(static_cast<unsigned>(flag ^ kLongFrameFlag));
    return toLong < toShort ? kLongFrameBytes : kShortFrameBytes;
}

// XOR with the mask, byte i of the span being frame byte first + i; the same call scrambles
// and descrambles.
inline void applyMask(std::span<uint8_t> bytes, std::size_t first = 0) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] ^= kMask[(first + i) % kMask.size()];
}

} // namespace nimbo::rs41
