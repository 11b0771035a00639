// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/rs41_reader.h"

#include <algorithm>
#include <cmath>

namespace nimbo::weak {
namespace {

using rs41::kBitsPerByte;
using rs41::kHeaderBytes;
using rs41::kMaxFrameBytes;
// A bit whose soft value is the typical size is taken to be wrong about e^-2 of the time.
constexpr float kBitTrust = 2.0f;
constexpr int kFrameSymbols = rs41::kBitRate; // header to header

} // namespace

// Each bit may be wrong with a chance that falls exponentially with its soft value; the
// byte's confidence is the inverse of their sum.
void Rs41Reader::readByte(const SoftRing& ring, int polarity, int64_t start, uint8_t& byte,
                          float& reliability) {
    const float scale = kBitTrust / std::max(ring.level, 1e-9f);
    unsigned value = 0;
    float doubt = 0.0f;
    for (int i = 0; i < kBitsPerByte; ++i) {
        const float s = polarity * ring.at(start + i);
        if (s > 0.0f) value |= 1u << i;
        doubt += std::exp(-scale * std::abs(s));
    }
    byte = static_cast<uint8_t>(value);
    reliability = 1.0f / doubt;
}

bool Rs41Reader::deliver(const SoftRing& ring, int polarity, int64_t sync, int64_t nextSync,
                         Rs41FrameListener& listener) {
    // The header is known; bytes in the first half are placed from this frame's header, the
    // rest from the next one's, so that a slip of the count stays in one half.
    for (int b = 0; b < kHeaderBytes; ++b) {
        bytes_[b] = rs41::kAirHeader[b];
        reliability_[b] = 1.0f;
    }
    for (int b = kHeaderBytes; b < kMaxFrameBytes; ++b) {
        const int64_t offset = 1 + static_cast<int64_t>(b - kHeaderBytes) * kBitsPerByte;
        const int64_t start =
            b < kMaxFrameBytes / 2 ? sync + offset : nextSync - kFrameSymbols + offset;
        readByte(ring, polarity, start, bytes_[b], reliability_[b]);
    }
    return listener.rs41Frame(bytes_, reliability_);
}

} // namespace nimbo::weak
