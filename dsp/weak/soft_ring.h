// SPDX-License-Identifier: GPL-3.0-or-later
// The soft decisions of the weak-signal receiver, one per symbol, kept for a little more
// than a frame: the frame sync and the byte reader look back into it.
#pragma once

#include <array>
#include <cstdint>

namespace nimbo::weak {

struct SoftRing {
    static constexpr int kSize = 8192; // symbols: a frame (4800) and a search stretch
    static_assert((kSize & (kSize - 1)) == 0);

    // Soft value of the decision that ends at symbol k (positive for a 1 when the polarity is
    // +1), limited to a few times the typical size.
    std::array<float, kSize> values{};
    // Their signs, one word per phase (k mod 2: Manchester pairs ending at even or odd
    // symbols), newest in bit 0.
    std::array<uint64_t, 2> signs{};
    uint64_t allSigns = 0; // every symbol's (NRZ bits)
    int64_t newest = -1; // symbol index of the newest value
    float level = 0.0f;  // mean size of the values

    float at(int64_t k) const { return values[static_cast<std::size_t>(k) & (kSize - 1)]; }
    void push(int64_t k, float v) {
        values[static_cast<std::size_t>(k) & (kSize - 1)] = v;
        uint64_t& s = signs[static_cast<std::size_t>(k & 1)];
        s = (s << 1) | (v > 0.0f ? 1u : 0u);
        allSigns = (allSigns << 1) | (v > 0.0f ? 1u : 0u);
        newest = k;
    }
};

} // namespace nimbo::weak
