// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-built Manchester symbol streams, and a listener keeping every frame the sync completes.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "dsp/frame_sync.h"

namespace nimbo::test {

using Symbols = std::vector<int>; // 0 or 1 each
using Bytes = std::vector<uint8_t>;

// The 20-byte header, first-arriving bit of each byte least significant.
inline const Bytes kHeader = {0x68, 0x05, 0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0xB2, 0x7D, 0xFF, 0x02, 0x02, 0x00, 0x02, 0x00};

// Manchester: a 1 is sent as 0,1 and a 0 as 1,0. A byte is a start bit 0, eight data
// bits least significant first and a stop bit 1: twenty symbols.
inline void appendBit(Symbols& s, int bit) {
    s.push_back(bit ? 0 : 1);
    s.push_back(bit ? 1 : 0);
}
inline void appendByte(Symbols& s, uint8_t b) {
    appendBit(s, 0);
    for (int k = 0; k < 8; ++k)
        appendBit(s, (b >> k) & 1);
    appendBit(s, 1);
}
inline Symbols symbolsOf(const Bytes& bytes) {
    Symbols s;
    for (uint8_t b : bytes)
        appendByte(s, b);
    return s;
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes packed(const std::array<uint8_t, kFrameBits>& bits) {
    Bytes bytes(kFrameBytes, 0);
    for (int i = 0; i < kFrameBits; ++i)
        bytes[i / 8] |= static_cast<uint8_t>((bits[i] & 1) << (i % 8));
    return bytes;
}

// Records every completed frame and the symbol at which it completed.
struct Recorder : FrameListener {
    const FrameSync* sync = nullptr;
    long symbolIndex = 0;
    std::vector<Bytes> frames;
    std::vector<long> completedAt;
    void frameComplete() override {
        frames.push_back(packed(sync->frameBits()));
        completedAt.push_back(symbolIndex);
    }
};

inline Bytes pseudoRandomBytes(size_t n, unsigned seed) {
    Bytes b(n);
    for (auto& v : b) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

} // namespace nimbo::test
