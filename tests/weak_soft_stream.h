// SPDX-License-Identifier: GPL-3.0-or-later
// Ideal soft decisions of sent RS92 bytes, and the frame's sizes, for the weak sync tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace nimbo::test {

constexpr std::array<uint8_t, 6> kSync = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10};
constexpr int kSentBytes = 240, kLeadParityBytes = 24; // a frame; the parity before it
constexpr int kSymbolsPerByte = 20;                    // ten bits of two symbols
constexpr int kTailAt = 196;                           // sent byte where the constant tail begins
constexpr int kFrameSymbols = kSentBytes * kSymbolsPerByte;
// The symbol of a frame's last sync stop bit decision, from the frame's first symbol.
constexpr int kSyncEnd = static_cast<int>(kSync.size()) * kSymbolsPerByte - 1;

// Ideal soft decisions of a bit stream, one per symbol: +-1 on a bit's second symbol; on its
// first, the pair that straddles it and the bit before (0 where the symbols agree).
inline void pushBits(std::vector<float>& v, const std::vector<int>& bits) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const int b = bits[i];
        v.push_back(i > 0 && bits[i - 1] == b ? (b ? -1.0f : 1.0f) : 0.0f);
        v.push_back(b ? 1.0f : -1.0f);
    }
}
inline void addByte(std::vector<int>& bits, uint8_t byte) {
    bits.push_back(0);
    for (int i = 0; i < 8; ++i)
        bits.push_back((byte >> i) & 1);
    bits.push_back(1);
}

} // namespace nimbo::test
