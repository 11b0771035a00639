// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/block_fir.h"

#include <algorithm>
#include <iterator>

#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

constexpr int kLanes = 32; // outputs computed together; kBlockSamples is a multiple

// x points at the 50 history samples followed by the block; out[i] for i in [0, count).
// kLanes independent sums hide the latency of the multiply-adds.
NIMBO_SIMD_CLONES void firKernel(const double* taps, const double* x, double* out, int count) {
    int i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        double acc[kLanes] = {};
        for (int j = 0; j < kFirTaps; ++j) {
            const double t = taps[j];
            const double* p = x + (kFirTaps - 1) + i - j;
            for (int u = 0; u < kLanes; ++u)
                acc[u] += t * p[u];
        }
        for (int u = 0; u < kLanes; ++u)
            out[i + u] = acc[u];
    }
    for (; i < count; ++i) {
        double acc = 0.0;
        for (int j = 0; j < kFirTaps; ++j)
            acc += taps[j] * x[(kFirTaps - 1) + i - j];
        out[i] = acc;
    }
}

} // namespace

void BlockFir::reset() {
    std::fill(std::begin(history_), std::end(history_), 0.0);
    lastCount_ = 0;
}

void BlockFir::process(const double* in, double* out, int count) {
    count = std::clamp(count, 0, kBlockSamples);
    // Move the newest 50 inputs of the previous block to the front, oldest first.
    if (lastCount_ > 0)
        std::copy(history_ + lastCount_, history_ + lastCount_ + kHistory, history_);
    std::copy(in, in + count, history_ + kHistory);
    firKernel(taps_->data(), history_, out, count);
    lastCount_ = count;
}

} // namespace nimbo
