// SPDX-License-Identifier: GPL-3.0-or-later
// Coarse carrier search on complex baseband: finds the pair of spectral lines that a
// Manchester signal with h = 1 shows half the symbol rate either side of its carrier.
#pragma once

#include <array>

#include "dsp/signal.h"
#include "dsp/weak/air.h"

namespace nimbo::weak {

// Every data bit turns the phase by +pi and back (or -pi and back), so cos(phase) is the
// same square-ish wave at 2400 Hz whatever the data: the spectrum holds two lines at the
// carrier +-2400 Hz with about a fifth of the signal's power each, and no line at the
// carrier itself. A plain tone makes one line only, so it never scores as a pair.
class CarrierSearch {
  public:
    static constexpr int kFftSize = 4096;                // 11.7 Hz bins at 48 kHz
    static constexpr int kHop = kFftSize / 2;            // Hann windows overlapping by half
    static constexpr int kAverages = 10;                 // spectra per estimate: 0.47 s of signal
    static constexpr double kLineHz = kSymbolRate / 2.0; // half the symbol rate
    // A pair standing this far above the mean is a signal: noise alone reaches 2.5 (in
    // 4000 estimates), a signal at 6 dB Eb/N0 about 50 and at -4 dB still 6. A plain tone
    // finds no partner: peakToMean near 0 clean, like noise alone in noise.
    static constexpr double kConfident = 4.0;

    // Searched range: -max..+max, max up to 21.5 kHz (both lines within +-24 kHz).
    explicit CarrierSearch(double maxOffsetHz);
    void reset(); // as freshly constructed
    // n complex baseband samples at kSampleRate, re/im at any level.
    void process(const float* re, const float* im, int n);
    bool ready() const { return ready_; }       // a new estimate since the last take()/reset()
    double offsetHz() const { return offset_; } // the latest estimate, Hz (0 before any)
    double peakToMean() const { return peakToMean_; } // weaker line / mean spectrum there
    // The estimate used: the next one rests only on samples given after this call.
    void take();

  private:
    void transformFrame();
    void estimate();
    double power(int bin) const { return power_[static_cast<unsigned>(bin) & (kFftSize - 1)]; }
    struct Line {
        int bin = 0;
        double power = 0.0; // 0: no local maximum there
    };
    Line lineIn(int from, int to) const;
    double interpolate(const Line& line) const;

    double maxOffsetHz_;
    int maxCentreBin_; // candidate carriers: -maxCentreBin_ .. +maxCentreBin_ bins

    // Left unset until written (the first estimate's first spectrum sets power_): FM Det
    // audio never touches the pages they take.
    std::array<float, kFftSize> inRe_, inIm_; // the newest samples, oldest first
    int filled_ = 0;
    std::array<float, kFftSize> workRe_, workIm_;
    std::array<double, kFftSize> power_; // summed |X|^2 of this estimate's spectra
    int frames_ = 0;

    bool ready_ = false;
    double offset_ = 0.0;
    double peakToMean_ = 0.0;
};

} // namespace nimbo::weak
