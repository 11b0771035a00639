// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes of an RS92 frame read from the soft decisions between two sync positions, each
// with its reliability, and handed to the listener.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/weak/soft_ring.h"
#include "dsp/weak/weak_frame.h"

namespace nimbo::weak {

class FrameReader {
  public:
    // Reads the frame whose sync ends at `sync`; the next frame's sync ends at `nextSync`.
    // Returns what the listener says of it (true: its checks hold).
    bool deliver(const SoftRing& ring, int polarity, int64_t sync, int64_t nextSync, bool follows,
                 SentFrameListener& listener);

    // Byte starting at symbol `start`: hard bits, the next likeliest value (the least sure
    // data bit flipped), a confidence, and the size of each data bit's soft value (when
    // `bits` is given).
    static void readByte(const SoftRing& ring, int polarity, int64_t start, uint8_t& byte,
                         uint8_t& second, float& reliability, float* bits = nullptr);

  private:
    std::array<uint8_t, sent::kParityBytes> before_{};
    std::array<uint8_t, sent::kFrameBytes> bytes_{};
    std::array<uint8_t, sent::kFrameBytes> second_{};
    std::array<float, sent::kFrameBytes> reliability_{};
    std::array<float, sent::kFrameDataBits> bits_{};
};

} // namespace nimbo::weak
