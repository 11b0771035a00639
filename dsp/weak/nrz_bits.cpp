// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/nrz_bits.h"

#include <algorithm>
#include <cmath>

#include "dsp/weak/half_turns.h"

namespace nimbo::weak {
namespace {

// Trust in the carrier of each further symbol, and less for each click (FM Det).
constexpr float kTrust = 0.8f;
constexpr float kClickTrust = 0.35f;
constexpr std::array<float, NrzBits::kReference + 1> kPlainWeights =
    powers<NrzBits::kReference>(kTrust);
// Values are limited to a few times their typical size, learned over about 256 decisions.
constexpr float kCap = 2.5f;
constexpr float kLevelGain = 1.0f / 256.0f;

} // namespace

// A symbol that turns the phase up by half a turn correlates fully with the upward path and
// not at all with the downward one, and the other way round; either way the correlation is
// the carrier at the symbol's start. Each symbol turns it by half a turn, so (-1)^k times the
// sum of both correlations is the same carrier for every symbol k: summed over neighbours it
// is the reference that makes the decision (partly) coherent.
bool NrzBits::symbol(const Baseband& in, int last, int samples, CarrierLoop& carrier,
                     SoftRing& ring) {
    ++index_;
    const HalfTurns turns = halfTurns(in, last, samples, carrier);
    const std::complex<float> down = turns.down, up = turns.up;
    const int clips = turns.clips;
    const auto at = [](int64_t j) { return static_cast<std::size_t>(j) & (kRing - 1); };
    const std::size_t k = at(index_);
    down_[k] = down;
    up_[k] = up;
    const float sign = (index_ & 1) ? -1.0f : 1.0f;
    carrier_[k] = sign * (up + down);
    trust_[k] = clips > 0 ? kTrust * std::pow(kClickTrust, static_cast<float>(clips)) : kTrust;
    sinceClick_ = clips > 0 ? 0 : std::min(sinceClick_ + 1, kRing);
    if (index_ >= 2) carrier.measure(carrier_[k], carrier_[at(index_ - 2)]);

    const int64_t m = index_ - kDecisionDelay;
    if (m < 0) return false;
    std::complex<float> r{};
    if (sinceClick_ > 2 * kReference) {
        for (int i = 1; i <= kReference; ++i)
            r += kPlainWeights[i] * (carrier_[at(m + i)] + carrier_[at(m - i)]);
    } else {
        float wAfter = 1.0f, wBefore = 1.0f;
        for (int i = 1; i <= kReference; ++i) {
            wAfter *= trust_[at(m + i)];
            wBefore *= trust_[at(m - i + 1)];
            r += wAfter * carrier_[at(m + i)] + wBefore * carrier_[at(m - i)];
        }
    }
    if (m & 1) r = -r; // back to symbol m's own sign
    const std::complex<float> u = up_[at(m)], d = down_[at(m)];
    const float value = std::sqrt(std::norm(u + r)) - std::sqrt(std::norm(d + r));
    ring.level += (std::abs(value) - ring.level) * kLevelGain;
    const float cap = kCap * ring.level;
    ring.push(m, std::clamp(value, -cap, cap));
    return true;
}

} // namespace nimbo::weak
