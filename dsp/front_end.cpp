#include "dsp/front_end.h"

#include <cmath>

namespace nimbo {
namespace {

// Second-order Butterworth high-pass, 10 Hz at 48 kHz, used with exactly these values.
constexpr double kDcA1 = 1.9981488;
constexpr double kDcA2 = -0.99815051;
constexpr double kDcB0 = 0.99907483;
constexpr double kDcB1 = -1.99814966;
constexpr double kDcB2 = 0.99907483;

constexpr int kHilbertCentre = 25; // the in-phase value is the Hilbert input 25 samples back

} // namespace

void Receiver::processBlock(const int16_t* interleaved, const ReceiverSettings& settings) {
    const int word = channelWord(settings.InputCh);
    for (int i = 0; i < kBlockSamples; ++i)
        sampleBlock[i] = static_cast<double>(interleaved[kChannels * i + word]);

    if (settings.DemodType != 0) {
        demodulateIf();
    } else {
        lowPass_.process(sampleBlock.data(), demodSignal.data(), kBlockSamples);
        if (settings.SymbolInv)
            for (double& v : demodSignal) v *= -1.0;
    }
    blockDcAndClock();
}

void Receiver::demodulateIf() {
    bandPass_.process(sampleBlock.data(), sampleBlock.data(), kBlockSamples);
    hilbert_.process(sampleBlock.data(), work_.data(), kBlockSamples);

    // Phase of each sample; I is the Hilbert input at its centre tap, so I and Q
    // describe the same instant. A zero I or Q gives phase 0 (atan2 never sees 0, 0).
    for (int i = 0; i < kBlockSamples; ++i) {
        const double in = hilbert_.inputAt(i - kHilbertCentre);
        const double q = work_[i];
        sampleBlock[i] = (in == 0.0 || q == 0.0) ? 0.0 : std::atan2(in, q);
    }

    // Phase advance per sample in [0, 2 pi), as frequency offset from 12 kHz.
    double previous = lastPhase;
    for (int i = 0; i < kBlockSamples; ++i) {
        double d = previous - sampleBlock[i];
        if (d < 0.0) d += kTwoPi;
        previous = sampleBlock[i];
        work_[i] = (d - carrierStep) * kDiscriminatorScale;
    }
    lastPhase = previous;
    lowPass_.process(work_.data(), demodSignal.data(), kBlockSamples);
}

void Receiver::blockDcAndClock() {
    double w1 = dcW1, w2 = dcW2;
    for (int i = 0; i < kBlockSamples; ++i) {
        const double w0 = kDcA1 * w1 + (demodSignal[i] + kDcA2 * w2);
        const double y = kDcB0 * w0 + kDcB1 * w1 + kDcB2 * w2;
        w2 = w1;
        w1 = w0;
        demodSignal[i] = y;
        const bool tick = clock.step(y);
        symbolTicks[i] = tick ? 1 : 0;
        if (tick) {
            // A frame may complete here and be decoded before the next sample.
            dcW1 = w1;
            dcW2 = w2;
            sync.ProcessSymbol(y);
        }
    }
    dcW1 = w1;
    dcW2 = w2;
}

} // namespace nimbo
