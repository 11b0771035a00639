// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/sync_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace nimbo::weak {
namespace {

// Wrong signs among the sync bits that still let the soft correlation be tried: a quarter;
// a true sync that the soft correlation would accept has far fewer (about one in ten wrong
// at the weakest signals that decode: 6 of 60, 15 is four deviations off).
constexpr int kMaxSyncFlipsPerFour = 1;

} // namespace

double SyncSearch::metric(const SoftRing& ring, int64_t end, int first, int count) const {
    // Normalised by the energy, not by the sum of magnitudes: one symbol off, every other
    // decision straddles two bits and reads near zero, which must count against the place.
    double c = 0.0, e = 0.0;
    for (int i = first; i < first + count; ++i) {
        const KnownBit& b = pattern_->bits[static_cast<std::size_t>(i)];
        const double d = ring.at(end - b.back);
        c += b.sign * d;
        e += d * d;
    }
    return e > 0.0 ? c / std::sqrt(count * e) : 0.0;
}

// Whether the decisions ending at `k` look like a sync: the packed signs of the sync bits
// first (cheap), then their soft correlation, then every known bit, the tail agreeing too.
bool SyncSearch::found(const SoftRing& ring, int64_t k, double& m) const {
    const SyncPattern& p = *pattern_;
    if (k < p.stretch - 1) return false;
    const uint64_t word =
        p.stride == 2 ? ring.signs[static_cast<std::size_t>(k & 1)] : ring.allSigns;
    const uint64_t mask = p.syncBits >= 64 ? ~uint64_t{0} : (uint64_t{1} << p.syncBits) - 1;
    const int flips = std::popcount((word ^ p.syncSigns) & mask);
    const int maxFlips = p.syncBits * kMaxSyncFlipsPerFour / 4;
    if (flips > maxFlips && flips < p.syncBits - maxFlips) return false;
    if (std::abs(metric(ring, k, 0, p.syncBits)) < kSyncOnlyThreshold) return false;
    m = metric(ring, k, 0, static_cast<int>(p.bits.size()));
    if (std::abs(m) < kSearchThreshold) return false;
    if (p.tailBits == 0) return true;
    const double tail = metric(ring, k, p.tailFirst, p.tailBits);
    return tail * m > 0.0 && std::abs(tail) >= kTailThreshold;
}

void SyncSearch::lockAt(int64_t k, double m) {
    locked_ = true;
    polarity_ = m > 0.0 ? 1 : -1;
    syncAt_ = k;
    misses_ = 0;
    failures_ = 0;
    lastMissed_ = false;
    lastUnclear_ = false;
    delivered_ = false;
    lastSeen_ = k;
    stray_ = -1;
}

bool SyncSearch::step(const SoftRing& ring) {
    const int64_t k = ring.newest;
    const int frame = pattern_->frameSymbols;

    // The search: a peak is taken once two more places have not beaten it.
    double m = 0.0;
    if (found(ring, k, m) && std::abs(m) > std::abs(candidateMetric_)) {
        candidate_ = k;
        candidateMetric_ = m;
    }
    if (candidate_ >= 0 && k >= candidate_ + 2) {
        const int64_t c = candidate_;
        const double cm = candidateMetric_;
        candidate_ = -1;
        candidateMetric_ = 0.0;
        if (!locked_) {
            lockAt(c, cm);
        } else {
            // On the tracked grid (the sync just tracked, or the next one before its window
            // closes) it is the tracker's; off it, it is kept, and taken at once when the
            // last frame went missing or failed.
            const int64_t off = c - syncAt_;
            const bool onGrid = std::llabs(off) <= kWindow || std::llabs(off - frame) <= kWindow;
            if (!onGrid) {
                if (lastMissed_ || failures_ > 0) {
                    lockAt(c, cm);
                } else {
                    stray_ = c;
                    strayMetric_ = cm;
                }
            }
        }
    }
    if (!locked_) return false;

    // Tracking: the best place in the window around where the next sync is due.
    const int64_t due = syncAt_ + frame;
    if (k < due - kWindow) return false;
    const double t = polarity_ * metric(ring, k, 0, static_cast<int>(pattern_->bits.size()));
    if (k == due - kWindow || t > bestMetric_) {
        bestMetric_ = t;
        best_ = k;
    }
    if (std::llabs(k - due) <= kNear && (bestNear_ < due - kNear || t > bestNearMetric_)) {
        bestNearMetric_ = t;
        bestNear_ = k;
    }
    if (k < due + kWindow) return false;

    const bool farWins = bestMetric_ >= bestNearMetric_ + kMargin;
    const int64_t pick = farWins ? best_ : bestNear_;
    const double pickMetric = farWins ? bestMetric_ : bestNearMetric_;
    int64_t next = due;
    bool seen = pickMetric >= kTrackThreshold;
    // A clear sync seen early, beyond the window (a gap), wins over a weaker place within.
    const bool strayWins = stray_ > syncAt_ + frame / 2 && polarity_ * strayMetric_ > 0.0 &&
                           (!seen || std::abs(strayMetric_) >= pickMetric + kMargin);
    if (strayWins) {
        next = stray_;
        seen = true;
    } else if (seen) {
        next = pick;
    }
    if (seen && pickMetric >= kSearchThreshold) lastSeen_ = next;
    if (seen && next == stray_) lastSeen_ = next;
    dueSync_ = syncAt_;
    dueNext_ = next;
    dueFollows_ = delivered_;
    delivered_ = true;
    syncAt_ = next;
    misses_ = seen ? 0 : misses_ + 1;
    lastMissed_ = !seen;
    lastUnclear_ = !seen || (next != stray_ && pickMetric < kSearchThreshold);
    stray_ = -1;
    bestNear_ = -1;
    if (misses_ >= kMaxMisses) unlock();
    return true;
}

void SyncSearch::frameChecked(bool good) {
    failures_ = good ? 0 : failures_ + 1;
    if (good) lastSeen_ = std::max(lastSeen_, dueSync_);
    // A frame whose sync was not seen clearly and that passes no check: the signal has gone or
    // moved (a sonde on the same frame grid elsewhere may still be heard faintly).
    if (failures_ >= kMaxFailures || (!good && lastUnclear_)) unlock();
}

void SyncSearch::unlock() {
    locked_ = false;
    delivered_ = false;
    misses_ = 0;
    failures_ = 0;
    stray_ = -1;
    bestNear_ = -1;
}

} // namespace nimbo::weak
