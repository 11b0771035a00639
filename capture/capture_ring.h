// SPDX-License-Identifier: GPL-3.0-or-later
// The capture ring: 32 fixed blocks of 0.1 s of 48 kHz 16-bit stereo PCM, filled in order by
// the audio thread and taken in the same order by the main thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "dsp/signal.h"

namespace nimbo {

class CaptureRing {
  public:
    static constexpr int kSlots = 32;
    static constexpr int kBlockFrames = 4800; // 0.1 s at 48 kHz
    static constexpr int kBlockBytes = kBlockFrames * kInputChannels * sizeof(int16_t); // 19200

    // Audio side. Copies `len` bytes into the slot being filled and the ones after it.
    // Bytes that find every slot full (the main thread is 3.2 s behind) are dropped and
    // counted. Returns how many blocks this call completed; each needs one notice.
    int fill(const char* data, std::size_t len);

    // Main side. The oldest filled block, which is always slot ringIndex(), or nullptr
    // when nothing is filled. The slot stays with the reader until release().
    const int16_t* take() const;
    void release();

    // Back to an empty ring at slot 0. Only while no audio thread writes.
    void reset();

    int ringIndex() const { return static_cast<int>(taken_.load() % kSlots); }
    uint64_t droppedBytes() const { return dropped_.load(); }

  private:
    alignas(16) std::array<std::array<uint8_t, kBlockBytes>, kSlots> blocks_{};
    // Monotonic block counts; filled_ - taken_ is the number of blocks waiting (0..32).
    std::atomic<uint32_t> filled_{0};
    std::atomic<uint32_t> taken_{0};
    std::atomic<uint64_t> dropped_{0};
    std::size_t fillPos_ = 0; // bytes already in the block being filled (audio side only)
};

// Every filled slot goes whole to the decoder's ProcessWaveBuffer.
static_assert(CaptureRing::kBlockFrames == kBlockSamples, "a ring slot is one decoder block");

} // namespace nimbo
