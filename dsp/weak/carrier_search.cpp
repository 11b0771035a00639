// SPDX-License-Identifier: GPL-3.0-or-later
// The search: Hann-windowed spectra averaged over kAverages frames, the best-scoring pair
// of lines kLineHz either side of each candidate carrier, each line interpolated.
#include "dsp/weak/carrier_search.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/weak/fft.h"

namespace nimbo::weak {

namespace {
constexpr double kBinHz = static_cast<double>(kSampleRate) / CarrierSearch::kFftSize;
// Symbol rates of 4784-4816 per second put the lines up to 8 Hz from kLineHz.
constexpr double kLineSlackHz = 8.0;
// A line kLineHz +- kLineSlackHz above a candidate bin lies in bins kNear .. kFar above it
// (204 .. 206 at 4096 points); below it, in bins -kFar .. -kNear.
constexpr int kNear = static_cast<int>((CarrierSearch::kLineHz - kLineSlackHz) / kBinHz);
constexpr int kFar = static_cast<int>((CarrierSearch::kLineHz + kLineSlackHz) / kBinHz) + 1;
// Two lines whose powers differ by more than this are more likely a spur and a line than a
// signal's pair (which differ by noise only); such pairs score down to half.
constexpr double kBalance = 2.0;

// The window and the transform, shared by every search and made at the first use (FM Det
// audio never needs them).
struct Tables {
    Fft<CarrierSearch::kFftSize> fft;
    std::array<float, CarrierSearch::kFftSize> window{};
    Tables() {
        constexpr int n = CarrierSearch::kFftSize;
        for (int k = 0; k < n; ++k)
            window[k] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * k / n));
    }
};
const Tables& tables() {
    static const Tables t;
    return t;
}
} // namespace

CarrierSearch::CarrierSearch(double maxOffsetHz)
    : maxOffsetHz_(std::fabs(maxOffsetHz)),
      maxCentreBin_(std::min(static_cast<int>(std::ceil(std::fabs(maxOffsetHz) / kBinHz)),
                             kFftSize / 2 - kFar - 1)) {}

void CarrierSearch::reset() {
    filled_ = 0;
    frames_ = 0;
    ready_ = false;
    offset_ = 0.0;
    peakToMean_ = 0.0;
}

void CarrierSearch::take() {
    ready_ = false;
    filled_ = 0;
    frames_ = 0;
}

void CarrierSearch::process(const float* re, const float* im, int n) {
    while (n > 0) {
        const int count = std::min(n, kFftSize - filled_);
        std::copy_n(re, count, inRe_.begin() + filled_);
        std::copy_n(im, count, inIm_.begin() + filled_);
        filled_ += count;
        re += count;
        im += count;
        n -= count;
        if (filled_ < kFftSize) break;
        transformFrame();
        std::copy(inRe_.begin() + kHop, inRe_.end(), inRe_.begin());
        std::copy(inIm_.begin() + kHop, inIm_.end(), inIm_.begin());
        filled_ = kFftSize - kHop;
    }
}

void CarrierSearch::transformFrame() {
    const Tables& t = tables();
    for (int k = 0; k < kFftSize; ++k) {
        workRe_[k] = inRe_[k] * t.window[k];
        workIm_[k] = inIm_[k] * t.window[k];
    }
    t.fft.forward(workRe_, workIm_);
    for (int k = 0; k < kFftSize; ++k) {
        const double r = workRe_[k], i = workIm_[k];
        // A new estimate's first spectrum replaces what power_ held.
        power_[k] = frames_ == 0 ? r * r + i * i : power_[k] + (r * r + i * i);
    }
    if (++frames_ == kAverages) {
        estimate();
        frames_ = 0;
    }
}

// The strongest of bins `from` .. `to` that is a local maximum of the spectrum (none if
// none is: the slope of a stronger line nearby, such as a spur's main lobe, is no line).
CarrierSearch::Line CarrierSearch::lineIn(int from, int to) const {
    Line line{from, 0.0};
    for (int k = from; k <= to; ++k) {
        const double p = power(k);
        if (p >= power(k - 1) && p >= power(k + 1) && p > line.power) line = {k, p};
    }
    return line;
}

// The line's frequency in bins: its bin moved by a parabola through the logarithms of
// three bins, which for a Hann window lands within a few hundredths of a bin.
double CarrierSearch::interpolate(const Line& line) const {
    const double p0 = power(line.bin - 1), p1 = line.power, p2 = power(line.bin + 1);
    if (p0 <= 0.0 || p1 <= 0.0 || p2 <= 0.0) return line.bin;
    const double l0 = std::log(p0), l1 = std::log(p1), l2 = std::log(p2);
    const double curve = l0 - 2.0 * l1 + l2;
    if (curve >= 0.0) // flat top: three equal bins
        return line.bin;
    return line.bin + std::clamp(0.5 * (l0 - l2) / curve, -0.5, 0.5);
}

void CarrierSearch::estimate() {
    double best = -1.0;
    Line bestLower{}, bestUpper{};
    for (int c = -maxCentreBin_; c <= maxCentreBin_; ++c) {
        const Line lower = lineIn(c - kFar, c - kNear), upper = lineIn(c + kNear, c + kFar);
        const double weak = std::min(lower.power, upper.power);
        const double strong = std::max(lower.power, upper.power);
        const double weight = weak > 0.0 ? std::clamp(kBalance * weak / strong, 0.5, 1.0) : 0.0;
        if (weak * weight > best) {
            best = weak * weight;
            bestLower = lower;
            bestUpper = upper;
        }
    }

    const int edge = maxCentreBin_ + kFar;
    double sum = 0.0;
    for (int k = -edge; k <= edge; ++k)
        sum += power(k);
    const double mean = sum / (2 * edge + 1);

    ready_ = true;
    if (mean <= 0.0) { // silence
        offset_ = 0.0;
        peakToMean_ = 0.0;
        return;
    }
    offset_ = std::clamp(0.5 * (interpolate(bestLower) + interpolate(bestUpper)) * kBinHz,
                         -maxOffsetHz_, maxOffsetHz_);
    peakToMean_ = std::min(bestLower.power, bestUpper.power) / mean;
}

} // namespace nimbo::weak
