// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/capture_ring.h"

#include <algorithm>
#include <cstring>

namespace nimbo {

int CaptureRing::fill(const char* data, std::size_t len) {
    int completed = 0;
    while (len > 0) {
        const uint32_t filled = filled_.load(std::memory_order_relaxed);
        if (filled - taken_.load(std::memory_order_acquire) >= kSlots) {
            // Every slot waits for the main thread: the audio has nowhere to go.
            dropped_.fetch_add(len, std::memory_order_relaxed);
            break;
        }
        uint8_t* block = blocks_[filled % kSlots].data();
        const std::size_t n = std::min(len, kBlockBytes - fillPos_);
        std::memcpy(block + fillPos_, data, n);
        fillPos_ += n;
        data += n;
        len -= n;
        if (fillPos_ == kBlockBytes) {
            fillPos_ = 0;
            filled_.store(filled + 1, std::memory_order_release);
            ++completed;
        }
    }
    return completed;
}

const int16_t* CaptureRing::take() const {
    const uint32_t taken = taken_.load(std::memory_order_relaxed);
    if (filled_.load(std::memory_order_acquire) == taken) return nullptr;
    return reinterpret_cast<const int16_t*>(blocks_[taken % kSlots].data());
}

void CaptureRing::release() {
    const uint32_t taken = taken_.load(std::memory_order_relaxed);
    if (filled_.load(std::memory_order_acquire) != taken)
        taken_.store(taken + 1, std::memory_order_release);
}

void CaptureRing::reset() {
    filled_.store(0);
    taken_.store(0);
    fillPos_ = 0;
}

} // namespace nimbo
