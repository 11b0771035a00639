// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/frame_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nimbo::weak {
namespace {

using sent::kFrameBytes;
using sent::kParityBytes;
using sent::kSymbolsPerByte;
constexpr int kSymbolsPerBit = sent::kSymbolsPerBit;

// A bit whose soft value is the typical size is taken to be wrong about e^-2 of the time.
constexpr float kBitTrust = 2.0f;

} // namespace

// Each of the ten bits may be wrong with a chance that falls exponentially with its soft
// value (the start and stop bits count their known value, so a wrong one weighs most). The
// byte's confidence is set by its least sure bit alone: near the threshold most wrong bytes
// hold one wrong bit, and ranking by the weakest bit puts more of them first for the
// erasures and second choices of the repair than a sum over all ten bits did.
void FrameReader::readByte(const SoftRing& ring, int polarity, int64_t start, uint8_t& byte,
                           uint8_t& second, float& reliability, float* bits) {
    const float level = std::max(ring.level, 1e-9f);
    const float scale = kBitTrust / level;
    unsigned value = 0;
    // Bit j's decision ends on the second symbol of its pair.
    const auto bitAt = [&](int j) {
        return polarity * ring.at(start + kSymbolsPerBit * j + (kSymbolsPerBit - 1));
    };
    static_assert(sent::kStartBit == 0 && sent::kStopBit == 1);
    float weakestData = std::numeric_limits<float>::infinity();
    unsigned weakestBit = 0;
    for (int i = 0; i < sent::kDataBitsPerByte; ++i) {
        const float s = bitAt(1 + i);
        if (s > 0.0f) value |= 1u << i;
        if (bits) bits[i] = std::abs(s) / level;
        if (std::abs(s) < weakestData) {
            weakestData = std::abs(s);
            weakestBit = 1u << i;
        }
    }
    // Signed for the framing bits: one heard wrong is below zero.
    const float weakest =
        std::min({weakestData, -bitAt(0), bitAt(sent::kBitsPerByte - 1)}); // start 0, stop 1
    byte = static_cast<uint8_t>(value);
    second = static_cast<uint8_t>(value ^ weakestBit);
    reliability = std::exp(scale * weakest);
}

bool FrameReader::deliver(const SoftRing& ring, int polarity, int64_t sync, int64_t nextSync,
                          bool follows, SentFrameListener& listener) {
    // Bytes in the first half placed from this frame's sync, the rest from the next one's,
    // so that a slip of the count within the frame stays in one half.
    const int64_t firstByte = sync - (sent::kSyncBytes * kSymbolsPerByte - 1);
    const int64_t nextFirstByte = nextSync - (sent::kSyncBytes * kSymbolsPerByte - 1);
    float unused = 0.0f;
    uint8_t unusedByte = 0;
    for (int j = 0; j < kParityBytes; ++j)
        readByte(ring, polarity, firstByte - (kParityBytes - j) * kSymbolsPerByte, before_[j],
                 unusedByte, unused);
    for (int b = 0; b < kFrameBytes; ++b) {
        const int64_t start = b < kFrameBytes / 2
                                  ? firstByte + b * kSymbolsPerByte
                                  : nextFirstByte - (kFrameBytes - b) * kSymbolsPerByte;
        readByte(ring, polarity, start, bytes_[b], second_[b], reliability_[b],
                 bits_.data() + b * sent::kDataBitsPerByte);
    }
    return listener.sentFrame(before_, bytes_, second_, reliability_, bits_, follows);
}

} // namespace nimbo::weak
