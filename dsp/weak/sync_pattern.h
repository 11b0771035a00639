// SPDX-License-Identifier: GPL-3.0-or-later
// What the frame sync of the weak-signal receiver knows before a frame arrives: the bits
// that are always the same (sync bytes, a constant tail, framing bits), where they lie
// relative to the sync position, and how long a frame is.
#pragma once

#include <cstdint>
#include <span>

namespace nimbo::weak {

// One known bit: how many symbols before the sync position its soft decision ends, and its
// value (+1 for a 1, -1 for a 0).
struct KnownBit {
    int16_t back;
    int8_t sign;
};

struct SyncPattern {
    std::span<const KnownBit> bits; // the sync bits first, then the rest
    int syncBits;                   // how many of them the cheap first test uses
    int tailFirst, tailBits;        // the constant tail's bits within `bits` (0: none)
    // The sync bits' signs packed one per bit, bit i for the decision `stride` x i symbols
    // back (1 for a 1), as SoftRing packs them: the cheap first test.
    uint64_t syncSigns;
    int stride;       // symbols per bit: 2 (Manchester) or 1 (NRZ)
    int stretch;      // symbols from the first known bit's decision to the sync position
    int frameSymbols; // from one frame's sync position to the next
};

// The RS92's: 6 sync bytes, the 20-byte constant tail and the framing bits of the 24 parity
// bytes between them; the sync position is the last symbol of the last sync byte.
const SyncPattern& rs92Pattern();
// The RS41's: the 64 header bits as sent (scrambled); the sync position is the last of them.
const SyncPattern& rs41Pattern();

} // namespace nimbo::weak
