// SPDX-License-Identifier: GPL-3.0-or-later
// Complex baseband at an SDR's rate brought to 48 kHz: shifted so that the sonde lands at
// 0 Hz, halved by short half-band filters, then a polyphase low-pass to 48 kHz exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbo {

// Input rates the decimator takes, in samples per second.
inline constexpr int kMinIqRate = 32000;
inline constexpr int kMaxIqRate = 3200000;
// Half-width of the band kept clean around the sonde: the carrier search (+-10 kHz) plus
// the deviation (+-2.4 kHz) and a margin.
inline constexpr double kIqCleanHz = 14000.0;

class IqDecimator {
  public:
    static constexpr std::size_t kMaxInput = 2048; // input samples per process() call
    // Outputs one call can give at most (at the lowest input rate, which is raised).
    static constexpr std::size_t kMaxOutput = kMaxInput * 48000 / kMinIqRate + 2;

    // `inputRate` in kMinIqRate..kMaxIqRate; the sonde sits `offsetHz` from the centre.
    IqDecimator(int inputRate, double offsetHz);

    // Where the next n <= kMaxInput input samples go, I and Q apart, at full scale 1.
    float* inputI() { return first().i.data() + first().have; }
    float* inputQ() { return first().q.data() + first().have; }
    // Mixes, filters and decimates the n samples written there; writes the 48 kHz samples
    // to outI and outQ (room for kMaxOutput each) and returns how many.
    std::size_t process(std::size_t n, float* outI, float* outQ);

    int halfBandStages() const { return static_cast<int>(halfBands_.size()); }
    int resamplerTaps() const { return taps_; } // 0 at 48 kHz, where samples pass unchanged

  private:
    // Samples waiting for a filter: its history first, then what arrived since.
    struct Line {
        std::vector<float> i, q;
        std::size_t have = 0;
    };
    struct HalfBand {
        int taps = 7; // 7 or 11
        Line line;
    };

    Line& first() { return halfBands_.empty() ? resamplerLine_ : halfBands_.front().line; }
    void mix(float* i, float* q, std::size_t n);
    static void halve(const HalfBand& stage, Line& in, Line& out);
    std::size_t resample(float* outI, float* outQ);

    // Mixer: e^{j omega k} for k < kMaxInput, and the phase at the start of the next call.
    bool mixing_ = false;
    double omega_ = 0.0, phase_ = 0.0;
    std::vector<float> rotCos_, rotSin_;

    std::vector<HalfBand> halfBands_;
    // Polyphase low-pass from the half-bands' output rate to 48 kHz: `phases_` rows of
    // `taps_` coefficients. Output n lies at input position n * step_ / denominator_.
    Line resamplerLine_;
    int taps_ = 0;
    int phases_ = 0;
    bool interpolate_ = false; // between neighbouring rows, where the rates share no phase grid
    std::vector<float> coefficients_;
    std::vector<float> blended_; // the row in use when interpolating
    int64_t step_ = 0, denominator_ = 1, fraction_ = 0;
};

} // namespace nimbo
