// SPDX-License-Identifier: GPL-3.0-or-later
// Soft-decision decoding of the frame's Reed-Solomon code on its bits (ordered statistics).
// The code's 24 check bytes are 192 checks that are linear over the codeword's 1872 bits, so
// the 192 least sure bits whose checks are independent can be solved for from all the other
// bits, taken as heard. Near the threshold most wrong bytes hold a single wrong bit, and the
// bit's soft value places it among the frame's few hundred least sure: solving for 192 bits
// reaches far more of them than erasing 24 bytes can. The wrong bits the solve misses are
// sought by flipping the next least sure bits, one at a time and then in pairs. Every
// candidate is a codeword, so it is the caller's check (the block CRCs) that decides.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "decode/reed_solomon.h"

namespace nimbo::rs {

class OrderedStatistics {
  public:
    static constexpr int kBits = kCodeLength * 8;       // 1872: bit b of byte k is 8 k + b
    static constexpr int kCheckBits = kParityBytes * 8; // 192
    // Bits after the solved ones flipped one at a time, and the first of them flipped in pairs.
    static constexpr int kSingles = 400;
    static constexpr int kPairBits = 128;
    // A confidence per bit: higher is surer, infinity known (never changed); NaN is none.
    using BitReliabilities = std::span<const float, kBits>;

    // Offers candidate codewords, the likeliest first, until `accept` takes one; writes that
    // one to `codeword` and returns true, or returns false with `codeword` untouched.
    template <class Accept>
    bool decode(Codeword codeword, BitReliabilities reliability, Accept&& accept) {
        prepare(codeword, reliability);
        for (int c = 0; c < candidateCount(); ++c) {
            if (candidate(c) && accept(ConstCodeword(work_))) {
                std::copy(work_.begin(), work_.end(), codeword.begin());
                return true;
            }
        }
        return false;
    }

  private:
    using Vector = std::array<uint64_t, 3>; // one bit per check

    void prepare(ConstCodeword codeword, BitReliabilities reliability);
    int candidateCount() const;
    // Candidate c in work_: its flipped bits, then the solved bits that cancel the checks;
    // false when the solved bits cannot (their checks are not independent of all others).
    bool candidate(int c);
    // Reduces v by the solved bits' checks; `used` collects which of them it took.
    void reduce(Vector& v, Vector& used) const;
    // The solved bits whose checks sum to v, in `used`; false when there are none.
    bool solve(const Vector& v, Vector& used) const;

    std::array<uint8_t, kCodeLength> heard_{}, work_{};
    Vector syndrome_{};
    std::array<float, kBits> key_{};
    std::array<int16_t, kBits> order_{}; // unknown bits, least sure first
    int unknown_ = 0;                    // bits in order_
    int next_ = 0;                       // order_'s first bit after those the solve took
    int solved_ = 0;
    // The solved bits' checks reduced to echelon form: basis_[i] is zero in the pivot rows of
    // all before it, and the sum of the original checks of the solved bits in combination_[i].
    std::array<Vector, kCheckBits> basis_{}, combination_{};
    std::array<int16_t, kCheckBits> pivotRow_{}, pivotBit_{};
    // With all 192 checks solved for: the solved bits that make up check row r alone, so
    // that a candidate costs one sum per check it fails instead of a reduction.
    bool fullRank_ = false;
    std::array<Vector, kCheckBits> rowSolution_{};
    int singles_ = 0, pairBits_ = 0;
};

} // namespace nimbo::rs
