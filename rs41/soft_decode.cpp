// SPDX-License-Identifier: GPL-3.0-or-later
// Erasures chosen from byte reliabilities, in steps, for the RS41 frame decoder.
#include "rs41/soft_decode.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nimbo::rs41 {

bool decodeFrameSoft(std::span<const uint8_t> bytes, std::span<const float> reliability,
                     Rs41Frame& frame) {
    if (decodeFrame(bytes, {}, frame) || bytes.size() < static_cast<std::size_t>(kShortFrameBytes))
        return frame.good;

    // The codewords' bytes at the length the length byte is nearest to (320 if the bytes are
    // too few for 518), least reliable first. A byte's codeword is the same at either length.
    int n = nearestFrameBytes(bytes[kLengthByte]);
    if (n > static_cast<int>(bytes.size())) n = kShortFrameBytes;
    std::array<std::array<int, rs::kMaxCodeLength>, kCodewords> order;
    std::array<int, kCodewords> sizes{};
    for (int b = kParityStart; b < n; ++b) {
        const int k = codewordPlace(b, n).codeword;
        order[k][sizes[k]++] = b;
    }
    auto sureness = [&](int b) {
        if (b >= static_cast<int>(reliability.size()))
            return std::numeric_limits<float>::infinity();
        const float r = reliability[b];
        return std::isnan(r) ? -std::numeric_limits<float>::infinity() : r;
    };
    const int most = kErasureSteps.back();
    for (int k = 0; k < kCodewords; ++k)
        std::partial_sort(order[k].begin(), order[k].begin() + most, order[k].begin() + sizes[k],
                          [&](int a, int b) { return sureness(a) < sureness(b); });

    std::array<int, kCodewords * kErasureSteps.back()> erasures;
    for (const int step : kErasureSteps) {
        int count = 0;
        for (int k = 0; k < kCodewords; ++k)
            for (int i = 0; i < step; ++i)
                if (sureness(order[k][i]) < std::numeric_limits<float>::infinity())
                    erasures[count++] = order[k][i];
        if (decodeFrame(bytes, std::span(erasures).first(count), frame, false)) return true;
    }
    return decodeFrame(bytes, {}, frame);
}

} // namespace nimbo::rs41
