// SPDX-License-Identifier: GPL-3.0-or-later
// Frame sync of the weak-signal receiver: finds frames by correlating the soft decisions with
// every bit known in advance (its sign gives the polarity), then follows them frame by frame,
// moving to where the sync really is when a gap, an insertion or a burst has moved it.
#pragma once

#include <cstdint>

#include "dsp/weak/soft_ring.h"
#include "dsp/weak/sync_pattern.h"

namespace nimbo::weak {

class SyncSearch {
  public:
    explicit SyncSearch(const SyncPattern& pattern) : pattern_(&pattern) {}

    // After each new decision in `ring`. Returns true when a frame is due: its sync position
    // is frameSync(), the next frame's nextSync().
    bool step(const SoftRing& ring);
    int64_t frameSync() const { return dueSync_; }
    int64_t nextSync() const { return dueNext_; }
    bool follows() const { return dueFollows_; } // the previous due frame was the one before

    // What the frame's checks said: frames that keep failing send the search back to the
    // start.
    void frameChecked(bool good);
    void unlock();
    void reset() { *this = SyncSearch(*pattern_); }

    bool locked() const { return locked_; }
    int polarity() const { return polarity_; }
    // The symbol index of the last sync that was seen clearly (-1: none yet).
    int64_t lastSeen() const { return lastSeen_; }

    // Normalised correlation (1: every known bit agrees and no noise) of the pattern's bits
    // first..first+count-1 with the decisions for a sync position at `end`; signed.
    double metric(const SoftRing& ring, int64_t end, int first, int count) const;

    // Thresholds on the normalised correlation. One symbol off gives about 0.7 and one byte
    // off about 0.6 on a clean signal; the true position stays above 0.9 down to the weakest
    // signals that can still be decoded.
    static constexpr double kSyncOnlyThreshold = 0.6;
    static constexpr double kSearchThreshold = 0.8;
    // The tail alone, in a found sync: a stretch at 0.8 overall already has 0.67 on its tail,
    // so less would check nothing; a tail of zero bytes behind true sync bytes reads 0.70.
    static constexpr double kTailThreshold = 0.75;
    static constexpr double kTrackThreshold = 0.5;
    // Tracking looks this many symbols either side of where the next sync is due: two bytes
    // and a little, so that a lost or inserted byte's worth of samples is followed. A place
    // further than kNear from it must beat the best near one by kMargin.
    static constexpr int kWindow = 44;
    static constexpr int kNear = 4;
    static constexpr double kMargin = 0.1;
    static constexpr int kMaxMisses = 3;   // frames without a seen sync before lock is dropped
    static constexpr int kMaxFailures = 3; // frames in a row failing their checks: the same

  private:
    bool found(const SoftRing& ring, int64_t k, double& m) const;
    void lockAt(int64_t k, double m);

    const SyncPattern* pattern_;
    bool locked_ = false;
    int polarity_ = 1;
    int64_t syncAt_ = 0;
    // The search (runs locked or not): best place so far and its metric.
    int64_t candidate_ = -1;
    double candidateMetric_ = 0.0;
    // A clear sync found off the tracked frame grid while locked, and its metric.
    int64_t stray_ = -1;
    double strayMetric_ = 0.0;
    // Tracking: the best place in the window and the best within kNear of the due place.
    int64_t best_ = -1, bestNear_ = -1;
    double bestMetric_ = 0.0, bestNearMetric_ = 0.0;
    int misses_ = 0, failures_ = 0;
    bool lastMissed_ = false;
    bool lastUnclear_ = false; // missed, or seen below the search's threshold
    bool delivered_ = false;
    int64_t lastSeen_ = -1;
    int64_t dueSync_ = 0, dueNext_ = 0;
    bool dueFollows_ = false;
};

} // namespace nimbo::weak
