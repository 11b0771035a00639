// SPDX-License-Identifier: GPL-3.0-or-later
// The two interleaved Reed-Solomon (255, 231) codewords of an RS41 frame: where their bytes
// lie in the frame, the parity encoder, and errors-and-erasures correction of a whole frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "decode/reed_solomon.h"
#include "dsp/rs41_air.h"

// Codeword k (k = 0, 1) of a frame of N bytes (320 or 518), c0 the lowest power:
//   c0..c23 = frame bytes 8 + 24k .. 31 + 24k (parity);
//   c24 + j = frame byte 56 + k + 2j, for every such byte below N (132 bytes at 320, 231 at
//   518); the code's remaining positions are zero and not sent.
// The header (bytes 0..7) is not covered.
namespace nimbo::rs41 {

inline constexpr int kCodewords = 2;
inline constexpr int kParityStart = kHeaderBytes;                                 // 8
inline constexpr int kDataStart = kParityStart + kCodewords * rs::kParityBytes;   // 56
inline constexpr int kMaxDataPerCodeword = rs::kMaxCodeLength - rs::kParityBytes; // 231
static_assert(kDataStart == kLengthByte, "the length byte is the first byte of codeword 0's data");
static_assert(kDataStart + kCodewords * kMaxDataPerCodeword == kLongFrameBytes,
              "a long frame fills both codewords");

// True for the two frame lengths the code is laid out for.
constexpr bool validFrameBytes(int frameBytes) {
    return frameBytes == kShortFrameBytes || frameBytes == kLongFrameBytes;
}
// Bytes of each codeword in a frame of that length: 156 at 320, 255 at 518.
constexpr int codewordLength(int frameBytes) {
    return rs::kParityBytes + (frameBytes - kDataStart) / kCodewords;
}

// Where frame byte b sits: codeword and position, or codeword -1 for the header and for b
// outside the frame.
struct CodewordPlace {
    int codeword;
    int position;
};
constexpr CodewordPlace codewordPlace(int b, int frameBytes) {
    if (b < kParityStart || b >= frameBytes) return {-1, -1};
    if (b < kDataStart) {
        const int k = (b - kParityStart) / rs::kParityBytes;
        return {k, b - kParityStart - k * rs::kParityBytes};
    }
    const int k = (b - kDataStart) % kCodewords;
    return {k, rs::kParityBytes + (b - kDataStart) / kCodewords};
}
// The reverse: the frame byte holding position p of codeword k.
constexpr int frameByteOf(int k, int p, int frameBytes) {
    if (p < rs::kParityBytes) return kParityStart + k * rs::kParityBytes + p;
    const int b = kDataStart + k + kCodewords * (p - rs::kParityBytes);
    return b < frameBytes ? b : -1;
}

using Word = std::array<uint8_t, rs::kMaxCodeLength>;

// Codeword k of the frame into word[0 .. codewordLength - 1], and back.
void gatherCodeword(std::span<const uint8_t> frame, int k, Word& word);
void scatterCodeword(const Word& word, int k, std::span<uint8_t> frame);

// Writes both codewords' parity (bytes 8..55) for the frame's data; false for a length other
// than 320 or 518.
bool encodeFrame(std::span<uint8_t> frame);

// True when both codewords have zero syndromes.
bool framePassesCheck(std::span<const uint8_t> frame);

struct Correction {
    int corrected = rs::kFailed; // bytes changed in the frame, or rs::kFailed
    std::array<int, kCodewords> perCodeword{rs::kFailed, rs::kFailed};
};

// Corrects a descrambled frame of 320 or 518 bytes in place. `unreliable` lists frame byte
// positions to treat as erasures (header positions and positions past the frame are ignored:
// the receiver may name bytes of a longer frame). With erasures that fail, errors alone are
// tried unless `retryErrorsAlone` is false (a caller that has tried them already). On failure
// of either codeword the frame is left untouched.
Correction correctFrame(std::span<uint8_t> frame, std::span<const int> unreliable = {},
                        bool retryErrorsAlone = true);

} // namespace nimbo::rs41
