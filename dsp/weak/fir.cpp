// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/fir.h"

#include "dsp/simd_clones.h"

namespace nimbo::weak {

NIMBO_SIMD_CLONES
void filterBlock15(const float* x, const float* taps, float* out) {
    constexpr int kTaps = 15;
    float t[kTaps];
    for (int k = 0; k < kTaps; ++k)
        t[k] = taps[k];
    for (int i = 0; i < kBlockSamples; ++i) {
        float s = 0.0f;
#pragma GCC unroll 15
        for (int k = 0; k < kTaps; ++k)
            s += t[k] * x[i + k];
        out[i] = s;
    }
}

} // namespace nimbo::weak
