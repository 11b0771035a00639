// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/if_front_end.h"

#include "dsp/signal.h"

namespace nimbo::weak {

void IfFrontEnd::process(const int16_t* samples, int stride, float* re, float* im) {
    // The mixer multiplies by 1, -j, -1, j in turn (12 kHz is a quarter of the rate).
    float* r = lowPass_.inRe();
    float* m = lowPass_.inIm();
    for (int i = 0; i < kBlockSamples; i += 4) {
        const float x0 = samples[stride * i] * kScale, x1 = samples[stride * (i + 1)] * kScale;
        const float x2 = samples[stride * (i + 2)] * kScale;
        const float x3 = samples[stride * (i + 3)] * kScale;
        r[i] = x0, m[i] = 0.0f;
        r[i + 1] = 0.0f, m[i + 1] = -x1;
        r[i + 2] = -x2, m[i + 2] = 0.0f;
        r[i + 3] = 0.0f, m[i + 3] = x3;
    }
    static_assert(kBlockSamples % 4 == 0, "the mixer's phase starts afresh every block");
    lowPass_.run(re, im);
}

void IqFrontEnd::process(const int16_t* interleaved, float* re, float* im) {
    for (int i = 0; i < kBlockSamples; ++i) {
        re[i] = interleaved[kInputChannels * i] * kScale;
        im[i] = interleaved[kInputChannels * i + 1] * kScale;
    }
}

} // namespace nimbo::weak
