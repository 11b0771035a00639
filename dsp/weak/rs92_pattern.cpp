// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>

#include "dsp/sent_frame.h"
#include "dsp/weak/sync_pattern.h"

namespace nimbo::weak {
namespace {

constexpr auto kSyncBytes = sent::kSync;
constexpr int kSync = sent::kSyncBytes;
constexpr int kTail = sent::kTailBytes;     // 20
constexpr int kParity = sent::kParityBytes; // 24
constexpr int kBitsPerByte = sent::kBitsPerByte;
constexpr int kSymbolsPerByte = sent::kSymbolsPerByte;
static_assert(sent::kSymbolsPerBit == 2, "the decisions are Manchester pairs");
// The stretch searched: constant tail, parity (framing bits only), sync bytes; it ends with
// the stop bit of the last sync byte.
constexpr int kStretchSymbols = (kTail + kParity + kSync) * kSymbolsPerByte; // 1000
constexpr int kSyncBits = kSync * kBitsPerByte;                              // 60
constexpr int kAllBits = kTail * kBitsPerByte + kParity * 2 + kSyncBits;     // 308
static_assert(kSyncBits <= 64, "the sync bits' signs fit one word");

constexpr KnownBit knownBit(int byteInStretch, int bit, int value) {
    const int pairEnd = byteInStretch * kSymbolsPerByte + 2 * bit + 1;
    return {static_cast<int16_t>(kStretchSymbols - 1 - pairEnd), static_cast<int8_t>(value ? 1 : -1)};
}

constexpr std::array<KnownBit, kAllBits> makeBits() {
    std::array<KnownBit, kAllBits> bits{};
    int n = 0;
    const auto addByte = [&](int q, int value, bool dataKnown) {
        bits[n++] = knownBit(q, 0, sent::kStartBit);
        if (dataKnown)
            for (int i = 0; i < sent::kDataBitsPerByte; ++i)
                bits[n++] = knownBit(q, 1 + i, (value >> i) & 1);
        bits[n++] = knownBit(q, kBitsPerByte - 1, sent::kStopBit);
    };
    for (int s = 0; s < kSync; ++s)
        addByte(kTail + kParity + s, kSyncBytes[s], true);
    for (int t = 0; t < kTail; ++t)
        addByte(t, sent::constantByte(sent::kTailStart + t), true);
    for (int p = 0; p < kParity; ++p)
        addByte(kTail + p, 0, false);
    return bits;
}
constexpr std::array<KnownBit, kAllBits> kBits = makeBits();

constexpr uint64_t makeSyncSigns() {
    uint64_t signs = 0;
    for (int i = 0; i < kSyncBits; ++i)
        if (kBits[i].sign > 0) signs |= uint64_t{1} << (kBits[i].back / 2);
    return signs;
}

} // namespace

const SyncPattern& rs92Pattern() {
    static constexpr SyncPattern pattern{kBits,       kSyncBits, kSyncBits, kTail * kBitsPerByte,
                                         makeSyncSigns(), 2,     kStretchSymbols,
                                         sent::kFrameSymbols};
    return pattern;
}

} // namespace nimbo::weak
