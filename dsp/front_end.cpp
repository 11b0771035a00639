// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/front_end.h"

#include <cmath>
#include <numbers>

#include "dsp/phase.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

// Second-order Butterworth high-pass, 10 Hz at 48 kHz, used with exactly these values.
constexpr double kDcA1 = 1.9981488;
constexpr double kDcA2 = -0.99815051;
constexpr double kDcB0 = 0.99907483;
constexpr double kDcB1 = -1.99814966;
constexpr double kDcB2 = 0.99907483;

constexpr int kHilbertCentre = 25; // the in-phase value is the Hilbert input 25 samples back

// DC block (direct form II), then the symbol clock on the result; a symbol is decided
// at each tick, and a frame completed by it is decoded before the next sample.
// The filter and clock state are worked on as local copies so that they stay in
// registers across the calls into the frame sync; they are stored back at the end.
NIMBO_SIMD_CLONES void dcBlockAndClock(double* signal, uint8_t* ticks, double& dcW1, double& dcW2,
                                       SymbolClock& sharedClock, FrameSync& sync) {
    double w1 = dcW1, w2 = dcW2;
    SymbolClock clock = sharedClock;
    for (int i = 0; i < kBlockSamples; ++i) {
        const double w0 = kDcA1 * w1 + (signal[i] + kDcA2 * w2);
        const double y = kDcB0 * w0 + kDcB1 * w1 + kDcB2 * w2;
        w2 = w1;
        w1 = w0;
        signal[i] = y;
        const bool tick = clock.step(y);
        ticks[i] = tick ? 1 : 0;
        if (tick) sync.ProcessSymbol(y);
    }
    dcW1 = w1;
    dcW2 = w2;
    sharedClock = clock;
}

// Phase of each sample; the in-phase value is the Hilbert input at its centre tap, so
// I and Q describe the same instant. A zero I or Q gives phase 0.
NIMBO_SIMD_CLONES void computePhases(const double* inPhase, const double* quadrature,
                                     double* phase) {
    for (int i = 0; i < kBlockSamples; ++i) {
        const double in = inPhase[i], q = quadrature[i];
        const double a = phaseAtan2(in, q);
        phase[i] = ((in == 0.0) | (q == 0.0)) ? 0.0 : a;
    }
}

} // namespace

void Receiver::processBlock(const int16_t* interleaved, const ReceiverSettings& settings) {
    const int word = channelWord(settings.InputCh);
    for (int i = 0; i < kBlockSamples; ++i)
        sampleBlock_[i] = static_cast<double>(interleaved[kInputChannels * i + word]);

    if (settings.DemodType == 1) {
        demodulateIf();
    } else {
        lowPass_.process(sampleBlock_.data(), demodSignal_.data(), kBlockSamples);
        if (settings.SymbolInv)
            for (double& v : demodSignal_)
                v *= -1.0;
    }
    blockDcAndClock();
}

void Receiver::reset() {
    sampleBlock_.fill(0.0);
    demodSignal_.fill(0.0);
    symbolTicks_.fill(0);
    lastPhase_ = 0.0;
    dcW1_ = dcW2_ = 0.0;
    clock_.reset();
    sync_.reset();
    bandPass_.reset();
    hilbert_.reset();
    lowPass_.reset();
    work_.fill(0.0);
}

void Receiver::demodulateIf() {
    bandPass_.process(sampleBlock_.data(), sampleBlock_.data(), kBlockSamples);
    hilbert_.process(sampleBlock_.data(), work_.data(), kBlockSamples);

    computePhases(hilbert_.blockInputs() - kHilbertCentre, work_.data(), sampleBlock_.data());

    // Phase advance per sample in [0, 2 pi), as frequency offset from 12 kHz.
    double previous = lastPhase_;
    for (int i = 0; i < kBlockSamples; ++i) {
        double d = previous - sampleBlock_[i];
        if (d < 0.0) d += 2.0 * std::numbers::pi;
        previous = sampleBlock_[i];
        work_[i] = (d - carrierStep) * kDiscriminatorScale;
    }
    lastPhase_ = previous;
    lowPass_.process(work_.data(), demodSignal_.data(), kBlockSamples);
}

void Receiver::blockDcAndClock() {
    dcBlockAndClock(demodSignal_.data(), symbolTicks_.data(), dcW1_, dcW2_, clock_, sync_);
}

} // namespace nimbo
