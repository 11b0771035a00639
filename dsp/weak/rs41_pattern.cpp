// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>

#include "dsp/rs41_air.h"
#include "dsp/weak/sync_pattern.h"

namespace nimbo::weak {
namespace {

// The 64 header bits as sent; the sync position is the decision of the last one.
constexpr int kHeaderBits = rs41::kHeaderBytes * rs41::kBitsPerByte;
static_assert(kHeaderBits == 64, "the header's signs fill one word");
// A frame a second, one symbol a bit.
constexpr int kFrameSymbols = rs41::kBitRate;

constexpr std::array<KnownBit, kHeaderBits> makeBits() {
    std::array<KnownBit, kHeaderBits> bits{};
    for (int n = 0; n < kHeaderBits; ++n) {
        const int value =
            (rs41::kAirHeader[n / rs41::kBitsPerByte] >> (n % rs41::kBitsPerByte)) & 1;
        bits[n] = {static_cast<int16_t>(kHeaderBits - 1 - n), static_cast<int8_t>(value ? 1 : -1)};
    }
    return bits;
}
constexpr std::array<KnownBit, kHeaderBits> kBits = makeBits();

constexpr uint64_t makeSyncSigns() {
    uint64_t signs = 0;
    for (const KnownBit& b : kBits)
        if (b.sign > 0) signs |= uint64_t{1} << b.back;
    return signs;
}

} // namespace

const SyncPattern& rs41Pattern() {
    static constexpr SyncPattern pattern{kBits,           kHeaderBits, 0,           0,
                                         makeSyncSigns(), 1,           kHeaderBits, kFrameSymbols};
    return pattern;
}

} // namespace nimbo::weak
