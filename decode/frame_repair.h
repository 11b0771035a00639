// SPDX-License-Identifier: GPL-3.0-or-later
// Puts a sent frame heard by the weak-signal receiver right with its Reed-Solomon parity,
// checked by the block CRCs, and turns it into the 220 content bytes the decoder reads. What
// earlier frames showed of the sonde (its serial, its frame count, its calibration pieces)
// helps it along.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "decode/frame_prediction.h"
#include "decode/ordered_statistics.h"
#include "decode/reed_solomon.h"
#include "dsp/sent_frame.h"

namespace nimbo {

class FrameRepair {
  public:
    // Erasure counts tried, least reliable bytes first, when errors alone do not decode.
    static constexpr std::array<int, 8> kErasureSteps = {4, 8, 10, 12, 14, 16, 18, 20};
    // When those fail: the kChaseBytes least reliable bytes take their second choice in every
    // combination, each tried with the next least reliable bytes erased in these counts.
    static constexpr int kChaseBytes = 8;
    static constexpr std::array<int, 6> kChaseErasures = {0, 4, 8, 12, 16, 20};
    // More of the constant tail heard wrong than this (a frame partly noise, as where the
    // signal ends; near the threshold one or two) and the frame is not worth the Chase.
    static constexpr int kChaseTailErrors = 6;

    // `before`: the 24 bytes heard before the frame's sync (the previous frame's parity),
    // `received`: the sent frame with a reliability per byte; `follows`: the previous call
    // was the frame just before. Writes the content bytes to `content`: the previous frame's
    // parity (as repaired when it `follows`) and sent bytes 0..195. Returns the number of
    // bytes the repair changed, or rs::kFailed when no attempt gave a codeword whose three
    // block CRCs hold (the content is then the bytes as heard, but for the sync bytes,
    // which are known). `second`: each byte's next likeliest value (its least sure bit
    // flipped), or the bytes as heard when there is none. `bits`: a confidence per data bit,
    // for the search on bits when the bytes alone do not decode.
    int repair(sent::ParityBytes before, sent::SentBytes received, sent::SentBytes second,
               sent::Reliabilities reliability, sent::BitReliabilities bits, bool follows,
               rs::Content content) {
        return repair(before, received, second, reliability, bits.data(), follows, content);
    }
    int repair(sent::ParityBytes before, sent::SentBytes received, sent::SentBytes second,
               sent::Reliabilities reliability, bool follows, rs::Content content) {
        return repair(before, received, second, reliability, nullptr, follows, content);
    }
    int repair(sent::ParityBytes before, sent::SentBytes received, sent::Reliabilities reliability,
               bool follows, rs::Content content) {
        return repair(before, received, received, reliability, nullptr, follows, content);
    }

    // Forgets the sonde heard so far (its expected bytes) and the frame before.
    void reset() { *this = FrameRepair(); }
    const FramePrediction& prediction() const { return prediction_; }

  private:
    // `bits`: kFrameDataBits confidences, or null when there are none.
    int repair(sent::ParityBytes before, sent::SentBytes received, sent::SentBytes second,
               sent::Reliabilities reliability, const float* bits, bool follows,
               rs::Content content);
    // Tries to decode `received`, with the expected bytes in place when `expect`; on success
    // sent_ holds the codeword's frame.
    bool attempt(sent::SentBytes received, sent::SentBytes second, sent::Reliabilities reliability,
                 const float* bits, bool expect);
    // The search on bits, with the known and expected bytes' bits taken as sure.
    bool searchBits(const float* bits);
    static bool worthChase(sent::SentBytes received);
    // Decodes codeword_ with order_[skip, skip + erasures) erased.
    bool tryDecode(int skip, int erasures);
    bool chase(int count);
    bool crcsHold(sent::ParityBytes parityBefore);
    // Keeps only the expected bytes whose groups mostly agree with `received`; true if any.
    bool screenExpected(sent::SentBytes received);

    std::array<uint8_t, sent::kFrameBytes> sent_{};
    std::array<uint8_t, rs::kCodeLength> codeword_{};
    std::array<uint8_t, rs::kCodeLength> work_{};
    std::array<uint8_t, rs::kCodeLength> heard_{}; // codeword_ before the Chase flips
    std::array<uint8_t, rs::kCodeLength> flip_{};  // heard ^ second choice, per position
    std::array<int, rs::kCodeLength> order_{};
    std::array<float, rs::kCodeLength> rel_{};
    std::array<float, rs::OrderedStatistics::kBits> bitRel_{}; // per codeword bit
    rs::OrderedStatistics bitSearch_;
    std::array<uint8_t, kFrameBytes> content_{};
    std::array<uint8_t, sent::kParityBytes> lastParity_{};
    bool haveLast_ = false;

    FramePrediction prediction_;
    std::array<int16_t, sent::kFrameBytes> expected_{};
    int sinceLearned_ = FramePrediction::kUnknown; // frames since the last learned one
    // The previous frame when its repair failed: tried again once this one is known.
    std::array<uint8_t, sent::kFrameBytes> failed_{};
    std::array<uint8_t, sent::kFrameBytes> failedSecond_{};
    std::array<float, sent::kFrameBytes> failedReliability_{};
    std::array<float, sent::kFrameDataBits> failedBits_{};
    bool failedHasBits_ = false;
    bool lastFailed_ = false;
};

} // namespace nimbo
