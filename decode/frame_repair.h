// Puts a sent frame heard by the weak-signal receiver right with its Reed-Solomon parity,
// checked by the block CRCs, and turns it into the 220 content bytes the decoder reads.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "decode/reed_solomon.h"
#include "dsp/sent_frame.h"

namespace nimbo {

class FrameRepair {
  public:
    // Erasure counts tried, least reliable bytes first, when errors alone do not decode.
    static constexpr std::array<int, 8> kErasureSteps = {4, 8, 10, 12, 14, 16, 18, 20};

    // `before`: the 24 bytes heard before the frame's sync (the previous frame's parity),
    // `received`: the sent frame with a reliability per byte; `follows`: the previous call
    // was the frame just before. Writes the content bytes to `content`: the previous frame's
    // parity (as repaired when it `follows`) and sent bytes 0..195. Returns the number of
    // bytes the repair changed, or rs::kFailed when no attempt gave a codeword whose three
    // block CRCs hold (the content is then the bytes as heard, but for the sync bytes,
    // which are known).
    int repair(sent::ParityBytes before, sent::SentBytes received, sent::Reliabilities reliability,
               bool follows, rs::Content content);

  private:
    bool tryDecode(int erasures);
    bool crcsHold(sent::ParityBytes parityBefore);

    std::array<uint8_t, sent::kFrameBytes> sent_{};
    std::array<uint8_t, rs::kCodeLength> codeword_{};
    std::array<uint8_t, rs::kCodeLength> work_{};
    std::array<int, rs::kCodeLength> order_{};
    std::array<uint8_t, kFrameBytes> content_{};
    std::array<uint8_t, sent::kParityBytes> lastParity_{};
    bool haveLast_ = false;
};

} // namespace nimbo
