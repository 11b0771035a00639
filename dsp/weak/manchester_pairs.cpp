// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/manchester_pairs.h"

#include <algorithm>
#include <cmath>

#include "dsp/weak/half_turns.h"
#include <numbers>

namespace nimbo::weak {
namespace {

// Trust in the carrier of each further bit (measured best at 7..10 dB). On FM Det, where
// clicks are near, the phase rebuilt from the audio wanders: each click leaves it about
// 0.45 radians off, so the nearest bits count most, and each click between counts once
// more (0.45 and 0.8 were best over 0.4..0.95 and 0.35..1 at 8.75..9.75 dB).
constexpr float kPairTrust = 0.75f;
constexpr float kClickedPairTrust = 0.45f;
constexpr float kClipTrust = 0.8f;
constexpr int kTrustClips = 8; // beyond this many clicks a bit's carrier is as good as unknown
constexpr std::array<float, kTrustClips + 1> kClipTrustPowers = powers<kTrustClips>(kClipTrust);
float clipTrust(int clips) {
    return clips >= kTrustClips ? 0.0f : kClipTrustPowers[clips];
}
// The weights of the bits i = 1..kReferencePairs either side without clicks: kPairTrust^i.
constexpr std::array<float, ManchesterPairs::kReferencePairs + 1> kPlainWeights =
    powers<ManchesterPairs::kReferencePairs>(kPairTrust);
// Clicks and bursts must not outweigh many ordinary bits: values are limited to a few times
// the typical size, learned over about 256 decisions.
constexpr float kCap = 2.5f;
constexpr float kLevelGain = 1.0f / 256.0f;

// The same weights in the order the terms lie in a row: the pairs after a bit nearest first,
// those before it farthest first.
constexpr std::array<float, ManchesterPairs::kReferencePairs> kWeightsAfter = [] {
    std::array<float, ManchesterPairs::kReferencePairs> w{};
    for (int i = 0; i < ManchesterPairs::kReferencePairs; ++i)
        w[i] = kPlainWeights[i + 1];
    return w;
}();
constexpr std::array<float, ManchesterPairs::kReferencePairs> kWeightsBefore = [] {
    std::array<float, ManchesterPairs::kReferencePairs> w{};
    for (int i = 0; i < ManchesterPairs::kReferencePairs; ++i)
        w[i] = kPlainWeights[ManchesterPairs::kReferencePairs - i];
    return w;
}();

std::size_t phaseSlot(int64_t symbol, int size) {
    return static_cast<std::size_t>(symbol >> 1) & static_cast<std::size_t>(size - 1);
}

} // namespace

std::complex<float> ManchesterPairs::carrierAt(int64_t symbol) const {
    const auto p = static_cast<std::size_t>(symbol & 1);
    const std::size_t s = phaseSlot(symbol, kPhaseRing);
    return {carrierRe_[p][s], carrierIm_[p][s]};
}

// The two paths of a bit are orthogonal and start and end at the same phase, so c1 + c0 is
// the carrier whatever the bit: summed over the neighbouring bits it is the reference that
// makes the decision (partly) coherent.
bool ManchesterPairs::symbol(const Baseband& in, int last, int samples, CarrierLoop& carrier,
                             SoftRing& ring) {
    ++index_;
    const HalfTurns turns = halfTurns(in, last, samples, carrier);
    const std::complex<float> down = turns.down, up = turns.up;
    const int clips = turns.clips;
    const auto at = [](int64_t j) { return static_cast<std::size_t>(j) & (kRing - 1); };
    const std::size_t k = at(index_), k1 = at(index_ - 1);
    down_[k] = down;
    up_[k] = up;
    clips_[k] = static_cast<uint8_t>(std::min(clips, 255));
    trust_[k] = kClickedPairTrust * clipTrust(clips_[k1] + clips_[k]);
    sinceClick_ = clips > 0 ? 0 : std::min(sinceClick_ + 1, kRing);
    const std::complex<float> c1 = down_[k1] - up, c0 = up_[k1] - down;
    const std::complex<float> newest = c1 + c0;
    {
        const auto p = static_cast<std::size_t>(index_ & 1);
        const std::size_t s = phaseSlot(index_, kPhaseRing);
        carrierRe_[p][s] = carrierRe_[p][s + kPhaseRing] = newest.real();
        carrierIm_[p][s] = carrierIm_[p][s + kPhaseRing] = newest.imag();
    }
    metric_[k] = c1 - c0;
    if (index_ > 2 * kDecisionDelay) carrier.measure(newest, carrierAt(index_ - 2));

    // The pair kDecisionDelay symbols back is decided now: its reference is the carrier of
    // the bits either side, trusted less the further away and the more clicks between. The
    // decision weighs the bit's two values with it: close to the coherent decision with a
    // strong reference, to |c1| - |c0| with none.
    const int64_t m = index_ - kDecisionDelay;
    if (m < 0) return false;
    std::complex<float> r{};
    // The window's clicks: from the pair ending at m - 2 kReferencePairs + 1 on.
    if (sinceClick_ > 4 * kReferencePairs) {
        // The pairs of m's phase after it (m + 2 .. m + 16) and before it (m - 16 .. m - 2).
        const auto p = static_cast<std::size_t>(m & 1);
        const float* re = carrierRe_[p].data();
        const float* im = carrierIm_[p].data();
        const std::size_t after = phaseSlot(m + 2, kPhaseRing);
        const std::size_t before = phaseSlot(m - 2 * kReferencePairs, kPhaseRing);
        float rr = 0.0f, ri = 0.0f;
        for (int i = 0; i < kReferencePairs; ++i) {
            rr += kWeightsAfter[i] * re[after + i] + kWeightsBefore[i] * re[before + i];
            ri += kWeightsAfter[i] * im[after + i] + kWeightsBefore[i] * im[before + i];
        }
        r = {rr, ri};
    } else {
        // Each term counts the clicks from bit m's inner symbol to its own inner one, the
        // same on both sides.
        float wAfter = 1.0f, wBefore = 1.0f;
        for (int i = 1; i <= kReferencePairs; ++i) {
            wAfter *= trust_[at(m + 2 * i - 1)];
            wBefore *= trust_[at(m - 2 * i + 1)];
            r += wAfter * carrierAt(m + 2 * i) + wBefore * carrierAt(m - 2 * i);
        }
    }
    const std::complex<float> g = carrierAt(m), h = metric_[at(m)];
    // |c1 + r| - |c0 + r|, with c1 = (g + h) / 2 and c0 = (g - h) / 2.
    const float d =
        0.5f * (std::sqrt(std::norm(g + h + 2.0f * r)) - std::sqrt(std::norm(g - h + 2.0f * r)));
    ring.level += (std::abs(d) - ring.level) * kLevelGain;
    const float cap = kCap * ring.level;
    ring.push(m, std::clamp(d, -cap, cap));
    return true;
}

} // namespace nimbo::weak
