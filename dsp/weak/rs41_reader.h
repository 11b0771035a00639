// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes of an RS41 frame read from the NRZ soft decisions after its header, each with its
// reliability, and handed to the listener.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/rs41_air.h"
#include "dsp/weak/soft_ring.h"
#include "dsp/weak/weak_frame.h"

namespace nimbo::weak {

class Rs41Reader {
  public:
    // Reads the frame whose header ends at `sync`; the next frame's header ends at
    // `nextSync`. Returns what the listener says of it.
    bool deliver(const SoftRing& ring, int polarity, int64_t sync, int64_t nextSync,
                 Rs41FrameListener& listener);

    // The byte whose first (least significant) bit is the decision at symbol `start`.
    static void readByte(const SoftRing& ring, int polarity, int64_t start, uint8_t& byte,
                         float& reliability);

  private:
    std::array<uint8_t, rs41::kMaxFrameBytes> bytes_{};
    std::array<float, rs41::kMaxFrameBytes> reliability_{};
};

} // namespace nimbo::weak
