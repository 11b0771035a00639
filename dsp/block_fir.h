// SPDX-License-Identifier: GPL-3.0-or-later
// A 51-tap FIR run over a whole block at once, with its history kept between blocks.
#pragma once

#include "dsp/filter_taps.h"
#include "dsp/signal.h"

namespace nimbo {

// Equivalent to a delay line shifted by one per sample (newest at index 0) with
// output = sum over j = 0..50 of taps[j] * delay[j], summed in ascending j. The
// block form lets the compiler compute several outputs side by side.
class BlockFir {
  public:
    explicit BlockFir(const FirTaps& taps) : taps_(&taps) {}

    // Filters `count` (<= kBlockSamples) samples from `in` into `out`; in and out may alias.
    void process(const double* in, double* out, int count);
    // Forgets every input: the filter starts again as if new.
    void reset();

    // Input sample i of the block last processed; i in [-50, count), negative i
    // reaching back into earlier blocks (zeros before the first block).
    double inputAt(int i) const { return history_[kHistory + i]; }
    // The same as a pointer: blockInputs()[i] for i in [-50, count).
    const double* blockInputs() const { return history_ + kHistory; }

  private:
    static constexpr int kHistory = kFirTaps - 1;
    const FirTaps* taps_; // a pointer, not a reference: a filter can be assigned
    // [0, kHistory): the last 50 inputs of earlier blocks, oldest first; then this block.
    double history_[kHistory + kBlockSamples] = {};
    int lastCount_ = 0; // samples in the block last processed
};

} // namespace nimbo
