#include "dsp/weak/fir.h"

#include "dsp/simd_clones.h"

namespace nimbo::weak {

NIMBO_SIMD_CLONES
void filterBlock(const float* x, const float* taps, int count, float* out) {
    for (int i = 0; i < kBlockSamples; ++i)
        out[i] = taps[0] * x[i];
    for (int k = 1; k < count; ++k) {
        const float t = taps[k];
        const float* xk = x + k;
        for (int i = 0; i < kBlockSamples; ++i)
            out[i] += t * xk[i];
    }
}

} // namespace nimbo::weak
