#include "dsp/weak/weak_receiver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>

#include "dsp/frame_sync.h"

namespace nimbo {
namespace {

// One known bit of the stretch the sync search looks at: how many symbols before the
// search position its soft pair ends, and the bit (+1 for 1, -1 for 0).
struct KnownBit {
    int16_t back;
    int8_t sign;
};

constexpr std::array<uint8_t, 6> kSyncBytes = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10};
constexpr int kTailBytes = static_cast<int>(headerPatternBytes.size()); // 20
constexpr int kParityBytes = 24;
// The stretch searched: constant tail, parity (start and stop bits only), sync bytes; it
// ends with the stop bit of the last sync byte.
constexpr int kStretchBytes = kTailBytes + kParityBytes + 6;
constexpr int kStretchSymbols = kStretchBytes * WeakReceiver::kSymbolsPerByte; // 1000
constexpr int kSyncOnlyBits = 6 * 10;
constexpr int kAllKnownBits = kTailBytes * 10 + kParityBytes * 2 + kSyncOnlyBits; // 308

constexpr KnownBit knownBit(int byteInStretch, int bit, int value) {
    const int pairEnd = byteInStretch * WeakReceiver::kSymbolsPerByte + 2 * bit + 1;
    return {static_cast<int16_t>(kStretchSymbols - 1 - pairEnd),
            static_cast<int8_t>(value ? 1 : -1)};
}

// The sync bytes first (the cheap first test uses only them), then the tail and parity.
constexpr std::array<KnownBit, kAllKnownBits> makeKnownBits() {
    std::array<KnownBit, kAllKnownBits> bits{};
    int n = 0;
    const auto addByte = [&](int q, int value, bool dataKnown) {
        bits[n++] = knownBit(q, 0, 0);
        if (dataKnown)
            for (int i = 0; i < 8; ++i)
                bits[n++] = knownBit(q, 1 + i, (value >> i) & 1);
        bits[n++] = knownBit(q, 9, 1);
    };
    for (int s = 0; s < 6; ++s)
        addByte(kTailBytes + kParityBytes + s, kSyncBytes[s], true);
    for (int t = 0; t < kTailBytes; ++t)
        addByte(t, headerPatternBytes[t], true);
    for (int p = 0; p < kParityBytes; ++p)
        addByte(kTailBytes + p, 0, false);
    return bits;
}
constexpr std::array<KnownBit, kAllKnownBits> kKnownBits = makeKnownBits();

// The sync bytes' bits as signs, one bit each (1 for a 1) at half their distance back: the
// pairs of one parity, newest in bit 0, are kept packed the same way.
constexpr uint64_t kSyncSignMask = (uint64_t{1} << kSyncOnlyBits) - 1;
constexpr uint64_t makeSyncSigns() {
    uint64_t signs = 0;
    for (int i = 0; i < kSyncOnlyBits; ++i)
        if (kKnownBits[i].sign > 0) signs |= uint64_t{1} << (kKnownBits[i].back / 2);
    return signs;
}
constexpr uint64_t kSyncSigns = makeSyncSigns();
// Wrong signs among the 60 that still let the soft correlation be tried: a third; a true
// sync that the soft correlation would accept has far fewer.
constexpr int kMaxSyncFlips = 20;

// A bit whose soft value is the typical size is taken to be wrong about e^-2 of the time.
constexpr float kBitTrust = 2.0f;

// Thresholds on the normalised correlation (1: every soft pair agrees and no noise). One
// symbol off gives about 0.7 and one byte off about 0.6 on a clean signal; the true
// position stays above 0.9 down to the weakest signals that can still be decoded.
constexpr double kSyncOnlyThreshold = 0.6;
constexpr double kSearchThreshold = 0.8;
constexpr double kTrackThreshold = 0.5;

// IF low-pass: 15-tap Hamming-windowed sinc, cut-off 5.5 kHz (deviation plus offset).
std::array<double, 15> makeIfTaps() {
    std::array<double, 15> taps{};
    const double fc = 5500.0 / kSampleRate;
    double sum = 0.0;
    for (int i = 0; i < 15; ++i) {
        const double m = i - 7;
        const double sinc =
            m == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * m) / (std::numbers::pi * m);
        taps[i] = sinc * (0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / 14.0));
        sum += taps[i];
    }
    for (double& t : taps)
        t /= sum;
    return taps;
}
const std::array<double, 15> kIfTapValues = makeIfTaps();

// Full deviation: a quarter turn per 2.5 samples, pi / 10 per sample.
constexpr double kRadiansPerUnit = std::numbers::pi / 10.0;
// FM Det: the audio clips at 32767, about 1.29 radians a step at the standard level; the
// steps of clicks that went beyond average about 1.95 radians (measured on the receiver
// model), about a third of the way to a half turn. Each clip leaves the rebuilt phase about
// half a radian off, so the carrier reference weighs a pair by kClipTrust once more for each
// clip between it and the decided pair (best measured at 10 dB).
constexpr int kClipped = 32767;
constexpr double kClickExcess = 0.36; // of the way from the clip to a half turn
// The symbol level is learned quickly while the receiver looks for frames and held (learned
// slowly) once it has them, so that a fade does not rescale the rebuilt phase.
constexpr double kLevelGainSearching = 0.01, kLevelGainLocked = 1.0 / 4096.0;
constexpr float kClipTrust = 0.35f;
// Trust in the carrier of each further pair (same on both paths, measured best at 7..10 dB).
constexpr float kPairTrust = 0.75f;
constexpr double kNominalSamples = 10.0; // per symbol
// Fine carrier loop: gain per symbol (slow beside the 64-pair mean of its input) and a limit
// of 1000 Hz (the pair-to-pair turn is unambiguous to 1200 Hz).
constexpr double kFineGain = 0.004;
constexpr double kMaxFineStep = 2.0 * std::numbers::pi * 1000.0 / kSampleRate;

// e^{j pi tau} at the middle of each of a symbol's ten samples: the conjugate of the path
// that falls by half a turn over the symbol.
std::array<float, 10> makeHalfTurn(bool sine) {
    std::array<float, 10> t{};
    for (int i = 0; i < 10; ++i) {
        const double a = std::numbers::pi * (i + 0.5) / 10.0;
        t[i] = static_cast<float>(sine ? std::sin(a) : std::cos(a));
    }
    return t;
}
const std::array<float, 10> kHalfTurnCos = makeHalfTurn(false);
const std::array<float, 10> kHalfTurnSin = makeHalfTurn(true);

// Symbol timing loop gains (on the level-normalised Gardner error) and the period limits:
// 4700..4900 symbols per second.
constexpr double kTimingGain = 0.08;
constexpr double kPeriodGain = 0.0008;
constexpr double kMinPeriod = kSampleRate / 4900.0, kMaxPeriod = kSampleRate / 4700.0;

// The angle of z to within about 0.005 radians, exact at 0 and at the axes: enough for the
// slow loop it steers, which settles where the angle is zero.
float quickAngle(std::complex<float> z) {
    const float x = z.real(), y = z.imag();
    const float ax = std::abs(x), ay = std::abs(y);
    if (ax == 0.0f && ay == 0.0f) return 0.0f;
    // atan on 0..1 of the smaller over the larger, then the octant.
    const float r = std::min(ax, ay) / std::max(ax, ay);
    float a = r * (0.97239411f - 0.19194795f * r * r);
    if (ay > ax) a = std::numbers::pi_v<float> / 2.0f - a;
    if (x < 0.0f) a = std::numbers::pi_v<float> - a;
    return y < 0.0f ? -a : a;
}

// Cosine and sine of a small angle (limited to 1.5 radians) by short series.
double smallCos(double radians) {
    const double a = std::clamp(radians, -1.5, 1.5), a2 = a * a;
    return 1.0 - a2 * (0.5 - a2 * (1.0 / 24.0 - a2 * (1.0 / 720.0)));
}
double smallSin(double radians) {
    const double a = std::clamp(radians, -1.5, 1.5), a2 = a * a;
    return a * (1.0 - a2 * (1.0 / 6.0 - a2 * (1.0 / 120.0 - a2 * (1.0 / 5040.0))));
}

constexpr int kTrustClips = 8; // beyond this many clips a pair is as good as unknown
constexpr std::array<float, kTrustClips + 1> kClipTrustPowers = [] {
    std::array<float, kTrustClips + 1> t{};
    t[0] = 1.0f;
    for (int i = 1; i <= kTrustClips; ++i)
        t[i] = t[i - 1] * kClipTrust;
    return t;
}();
float clipTrust(int clips) {
    return clips >= kTrustClips ? 0.0f : kClipTrustPowers[clips];
}

} // namespace

void WeakReceiver::reset() {
    *this = WeakReceiver(listener_);
}

void WeakReceiver::processBlock(const int16_t* interleaved, const ReceiverSettings& settings) {
    const int word = Receiver::channelWord(settings.InputCh);
    if (settings.DemodType == 0) {
        // FM Det: the audio is the frequency; its running sum rebuilds the phase, at the
        // deviation learned from the audio's level. A click (the noise taking the phase round
        // the origin) has steps beyond what the audio holds: a clipped step stands for the
        // mean of such steps, and the clips are counted so that the carrier reference trusts
        // the phase less across them.
        const double radiansPerUnit = kRadiansPerUnit / deviation();
        const double clipRadians = kClipped / Receiver::kDiscriminatorScale * radiansPerUnit;
        const bool clicksClip = clipRadians < std::numbers::pi;
        const double clickRadians = clipRadians + kClickExcess * (std::numbers::pi - clipRadians);
        const double clickCos = std::cos(clickRadians), clickSin = std::sin(clickRadians);
        for (int i = 0; i < kBlockSamples; ++i) {
            const int16_t a = interleaved[kInputChannels * i + word];
            const double f = a * (1.0 / Receiver::kDiscriminatorScale);
            const double radians = f * radiansPerUnit;
            double c = 0.0, s = 0.0; // of the step
            if (clicksClip && (a >= kClipped || a <= -kClipped)) {
                c = clickCos;
                s = a > 0 ? clickSin : -clickSin;
                ++clipsNow_;
            } else if (std::abs(radians) < 1.2) {
                c = smallCos(radians);
                s = smallSin(radians);
            } else {
                c = std::cos(radians);
                s = std::sin(radians);
            }
            // The offset: the angle of the mean step, which clicks do not pull as they do the
            // mean of the audio.
            meanRe_ += (c - meanRe_) * (1.0 / 2048.0);
            meanIm_ += (s - meanIm_) * (1.0 / 2048.0);
            if ((i & 63) == 0) offsetStep_ = std::atan2(meanIm_, meanRe_);
            const double turn = -offsetStep_ - fineStep_;
            if (turn != turnAngle_) {
                turnAngle_ = turn;
                turnCos_ = smallCos(turn);
                turnSin_ = smallSin(turn);
            }
            rotate(c * turnCos_ - s * turnSin_, s * turnCos_ + c * turnSin_);
            blockSample_ = i;
            step(f, ncoRe_, ncoIm_);
        }
        return;
    }
    // IF: mix the 12 kHz down by quarter turns and low-pass; the phase step per sample (its
    // sine, from the cross product, so that clicks stay bounded) gives the frequency, whose
    // mean steers an oscillator that takes the carrier offset off the baseband.
    constexpr double kStepScale = 1.0 / 0.309; // sine of the full deviation's step -> 1
    for (int i = 0; i < kBlockSamples; ++i) {
        // The mixer multiplies by 1, -j, -1, j in turn: the sample becomes the real part
        // (phases 0, 2) or the imaginary part (1, 3), negated at phases 1 and 2.
        const double x = interleaved[kInputChannels * i + word];
        const double mixed = mixPhase_ == 0 || mixPhase_ == 3 ? x : -x;
        ifLine_[ifPos_] = mixed;
        ifLine_[ifPos_ + kIfTaps] = mixed;
        // Newest first: taps an even distance back are of the same part as this sample,
        // the others of the other part. The taps are symmetric.
        const double* d = &ifLine_[ifPos_];
        const auto& h = kIfTapValues;
        const double same = h[0] * (d[0] + d[14]) + h[2] * (d[2] + d[12]) + h[4] * (d[4] + d[10]) +
                            h[6] * (d[6] + d[8]);
        const double other =
            h[1] * (d[1] + d[13]) + h[3] * (d[3] + d[11]) + h[5] * (d[5] + d[9]) + h[7] * d[7];
        const bool realNow = (mixPhase_ & 1) == 0;
        const double fr = realNow ? same : other, fi = realNow ? other : same;
        mixPhase_ = (mixPhase_ + 1) & 3;
        ifPos_ = ifPos_ == 0 ? kIfTaps - 1 : ifPos_ - 1;
        const double cross = fi * lastRe_ - fr * lastIm_;
        const double power = fr * fr + fi * fi + lastRe_ * lastRe_ + lastIm_ * lastIm_;
        // The carrier offset: the angle of the mean sample-to-sample product, which noise
        // does not pull towards zero as it does the mean of the phase steps.
        meanRe_ += (fr * lastRe_ + fi * lastIm_ - meanRe_) * (1.0 / 2048.0);
        meanIm_ += (cross - meanIm_) * (1.0 / 2048.0);
        if ((i & 63) == 0) offsetStep_ = std::atan2(meanIm_, meanRe_);
        lastRe_ = fr;
        lastIm_ = fi;
        const double turn = -offsetStep_ - fineStep_;
        if (turn != turnAngle_) {
            turnAngle_ = turn;
            turnCos_ = smallCos(turn);
            turnSin_ = smallSin(turn);
        }
        rotate(turnCos_, turnSin_);
        // The baseband times the oscillator, scaled to about unit size.
        const double scale = 1.0 / 8000.0;
        blockSample_ = i;
        step(power > 0.0 ? kStepScale * 2.0 * cross / power : 0.0,
             scale * (fr * ncoRe_ - fi * ncoIm_), scale * (fr * ncoIm_ + fi * ncoRe_));
    }
}

double WeakReceiver::deviation() const {
    return std::max(symbolLevel_ / (kNominalSamples * kSymbolMean), 0.05);
}

// Turns the oscillator by `radians` (small: a short series does) and keeps it on the unit
// circle.
void WeakReceiver::rotate(double radians) {
    rotate(smallCos(radians), smallSin(radians));
}

void WeakReceiver::rotate(double c, double s) {
    const double re = ncoRe_ * c - ncoIm_ * s, im = ncoRe_ * s + ncoIm_ * c;
    const double fix = 1.5 - 0.5 * (re * re + im * im);
    ncoRe_ = re * fix;
    ncoIm_ = im * fix;
}

// One sample: f the frequency (about +-1 at full deviation) for the offset and the symbol
// clock, (zr, zi) the baseband with the offset taken off for the bit metrics.
void WeakReceiver::step(double f, double zr, double zi) {
    // Learned level: discriminator clicks beyond three times it are clipped for the clock.
    // The offset and level as they were before this sample, so that the sample does not
    // wait for their update.
    const double d = f - dc_, limit = 3.0 * level_;
    const double v = std::clamp(d, -limit, limit);
    dc_ += d * (1.0 / 2048.0);
    level_ += (std::abs(d) - level_) * (1.0 / 4096.0);

    boxSum_ += v - box_[boxPos_];
    box_[boxPos_] = v;
    boxPos_ = boxPos_ == 9 ? 0 : boxPos_ + 1;
    const int64_t n = sampleIndex_++;
    yHist_[n & (kHistory - 1)] = boxSum_;
    eye_[blockSample_] = eyeScale_ * boxSum_;
    eyeTicks_[blockSample_] = 0;
    const auto slot = static_cast<std::size_t>(n & (kHistory - 1));
    zReHist_[slot] = zReHist_[slot + kHistory] = static_cast<float>(zr);
    zImHist_[slot] = zImHist_[slot + kHistory] = static_cast<float>(zi);

    while (nextTick_ <= static_cast<double>(n)) {
        const auto at = [&](double t) {
            const double fl = std::floor(t);
            const auto i = static_cast<int64_t>(fl);
            const double a = yHist_[i & (kHistory - 1)], b = yHist_[(i + 1) & (kHistory - 1)];
            return a + (t - fl) * (b - a);
        };
        const double y = at(nextTick_);
        const double mid = at(nextTick_ - 0.5 * period_);
        symbolLevel_ +=
            (std::abs(y) - symbolLevel_) * (locked_ ? kLevelGainLocked : kLevelGainSearching);
        eyeScale_ = kEyeLevel / std::max(symbolLevel_, 1e-9);
        const double norm = std::max(symbolLevel_ * symbolLevel_, 1e-9);
        const double e = std::clamp(mid * (y - lastY_) / norm, -1.0, 1.0);
        lastY_ = y;
        period_ = std::clamp(period_ - kPeriodGain * e, kMinPeriod, kMaxPeriod);
        const auto last = static_cast<int64_t>(std::floor(nextTick_));
        nextTick_ += period_ - kTimingGain * e;
        eyeTicks_[blockSample_] = 1;
        symbol(last);
    }
}

// A symbol ended at sample `last`. Its baseband is correlated with the two half-bit phase
// paths (down and up by half a turn); a pair of symbols then gives both bits' matched filter
// outputs c1 and c0. The two paths of a bit are orthogonal and start and end at the same
// phase, so c1 + c0 is the carrier whatever the bit: summed over the neighbouring bits it
// is the reference that makes the decision (partly) coherent.
void WeakReceiver::symbol(int64_t last) {
    ++symbolIndex_;
    // down = sum z e^{j a}, up = sum z e^{-j a}: four real sums make both.
    const auto first = static_cast<std::size_t>((last - 9) & (kHistory - 1));
    const float* zr = &zReHist_[first];
    const float* zi = &zImHist_[first];
    float rc = 0.0f, is = 0.0f, rs = 0.0f, ic = 0.0f;
    for (int i = 0; i < 10; ++i) {
        rc += zr[i] * kHalfTurnCos[i];
        is += zi[i] * kHalfTurnSin[i];
        rs += zr[i] * kHalfTurnSin[i];
        ic += zi[i] * kHalfTurnCos[i];
    }
    const std::complex<float> down{rc - is, rs + ic}, up{rc + is, ic - rs};
    const std::size_t k = static_cast<std::size_t>(symbolIndex_) & (kSymbolRing - 1);
    const std::size_t k1 = (k - 1) & (kSymbolRing - 1);
    down_[k] = down;
    up_[k] = up;
    clips_[k] = static_cast<uint8_t>(std::min(clipsNow_, 255));
    clipsNow_ = 0;
    const std::complex<float> c1 = down_[k1] - up, c0 = up_[k1] - down;
    carrier_[k] = c1 + c0;
    metric_[k] = c1 - c0;
    // The mean sample-to-sample product leaves the IF carrier up to some hundreds of hertz
    // off (the filtered noise pulls its angle towards zero), the mean FM Det step somewhat
    // less. The carrier term of one pair against the one before (20 samples apart, noise
    // independent) measures the rest.
    if (symbolIndex_ > 2 * kReferenceDelay) {
        const std::complex<float> now = carrier_[k],
                                  earlier = carrier_[(k - 2) & (kSymbolRing - 1)];
        const std::complex<float> product{now.real() * earlier.real() + now.imag() * earlier.imag(),
                                          now.imag() * earlier.real() -
                                              now.real() * earlier.imag()};
        turn_ += (product - turn_) * (1.0f / 64.0f);
        if (std::norm(turn_) > 0.0f) {
            const double radiansPerSample = quickAngle(turn_) / (2.0 * kNominalSamples);
            fineStep_ =
                std::clamp(fineStep_ + kFineGain * radiansPerSample, -kMaxFineStep, kMaxFineStep);
        }
    }

    // The pair kReferenceDelay symbols back is decided now. Its carrier reference is the
    // carrier of the neighbouring pairs either side, trusted less the further away they are
    // and, on FM Det, the more clips lie between (each leaves the rebuilt phase somewhat
    // off). The decision weighs the bit's two values with it, partly coherent: close to the
    // coherent decision with a strong reference, to |c1| - |c0| with none.
    const int64_t m = symbolIndex_ - kReferenceDelay;
    if (m < 0) return;
    pairIndex_ = m;
    const auto at = [](int64_t j) { return static_cast<std::size_t>(j) & (kSymbolRing - 1); };
    std::complex<float> r{};
    float wAfter = 1.0f, wBefore = 1.0f;
    for (int i = 1; i <= kReferencePairs; ++i) {
        const int64_t after = m + 2 * i, before = m - 2 * i;
        wAfter *= kPairTrust * clipTrust(clips_[at(after - 1)] + clips_[at(after)]);
        wBefore *= kPairTrust * clipTrust(clips_[at(before + 1)] + clips_[at(before + 2)]);
        r += wAfter * carrier_[at(after)] + wBefore * carrier_[at(before)];
    }
    const std::complex<float> g = carrier_[at(m)], h = metric_[at(m)];
    // |c1 + r| - |c0 + r|, with c1 = (g + h) / 2 and c0 = (g - h) / 2.
    const float d =
        0.5f * (std::sqrt(std::norm(g + h + 2.0f * r)) - std::sqrt(std::norm(g - h + 2.0f * r)));
    // Clicks and bursts must not outweigh many ordinary bits: values are limited to a few
    // times the typical size.
    pairLevel_ += (std::abs(d) - pairLevel_) * (1.0f / 256.0f);
    const float cap = 2.5f * pairLevel_;
    pairs_[static_cast<std::size_t>(m) & (kRingSymbols - 1)] = std::clamp(d, -cap, cap);
    uint64_t& signs = signs_[static_cast<std::size_t>(m & 1)];
    signs = (signs << 1) | (d > 0.0f ? 1u : 0u);
    if (locked_)
        trackSync();
    else
        searchSync();
}

double WeakReceiver::syncMetric(int64_t end, int part) const {
    const int count = part == 0 ? kSyncOnlyBits : kAllKnownBits;
    // Normalised by the energy, not by the sum of magnitudes: one symbol off, every other
    // pair straddles two bits and reads near zero, which must count against the position.
    double c = 0.0, e = 0.0;
    for (int i = 0; i < count; ++i) {
        const double d = pairAt(end - kKnownBits[i].back);
        c += kKnownBits[i].sign * d;
        e += d * d;
    }
    return e > 0.0 ? c / std::sqrt(count * e) : 0.0;
}

void WeakReceiver::searchSync() {
    const int64_t k = pairIndex_;
    if (k < kStretchSymbols - 1) return;
    // The signs of the sync bytes' pairs, packed, first: only near a match is the soft
    // correlation worked out.
    const int flips =
        std::popcount((signs_[static_cast<std::size_t>(k & 1)] ^ kSyncSigns) & kSyncSignMask);
    const bool nearSync = flips <= kMaxSyncFlips || flips >= kSyncOnlyBits - kMaxSyncFlips;
    if (nearSync && std::abs(syncMetric(k, 0)) >= kSyncOnlyThreshold) {
        const double m = syncMetric(k, 1);
        if (std::abs(m) >= kSearchThreshold && std::abs(m) > std::abs(candidateMetric_)) {
            candidate_ = k;
            candidateMetric_ = m;
        }
    }
    // A peak is taken once two more positions have not beaten it.
    if (candidate_ >= 0 && k >= candidate_ + 2) {
        locked_ = true;
        polarity_ = candidateMetric_ > 0.0 ? 1 : -1;
        syncAt_ = candidate_;
        misses_ = 0;
        delivered_ = false;
        candidate_ = -1;
        candidateMetric_ = 0.0;
    }
}

void WeakReceiver::trackSync() {
    const int64_t k = pairIndex_;
    const int64_t expected = syncAt_ + kFrameSymbols;
    if (k < expected - kLockWindow) return;
    const double m = polarity_ * syncMetric(k, 1);
    if (k == expected - kLockWindow || m > bestWindowMetric_) {
        bestWindowMetric_ = m;
        bestInWindow_ = k;
    }
    if (k < expected + kLockWindow) return;

    const bool seen = bestWindowMetric_ >= kTrackThreshold;
    const int64_t next = seen ? bestInWindow_ : expected;
    misses_ = seen ? 0 : misses_ + 1;
    deliver(syncAt_, next, delivered_);
    delivered_ = true;
    syncAt_ = next;
    if (misses_ >= kMaxMisses) {
        locked_ = false;
        delivered_ = false;
    }
}

// Byte at `start` (its first symbol): hard bits and a confidence. Each of the ten bits may
// be wrong with a chance that falls exponentially with its soft value (the start and stop
// bits count their known value, so a wrong one weighs most); the byte's confidence is the
// inverse of their sum, so one doubtful bit or several middling ones make a byte doubtful.
void WeakReceiver::readByte(int64_t start, uint8_t& byte, float& reliability) const {
    const float scale = kBitTrust / std::max(pairLevel_, 1e-9f);
    unsigned value = 0;
    float doubt = std::exp(scale * polarity_ * pairAt(start + 1)); // start bit: 0
    for (int i = 0; i < 8; ++i) {
        const float s = polarity_ * pairAt(start + 3 + 2 * i);
        if (s > 0.0f) value |= 1u << i;
        doubt += std::exp(-scale * std::abs(s));
    }
    doubt += std::exp(-scale * polarity_ * pairAt(start + 19)); // stop bit: 1
    byte = static_cast<uint8_t>(value);
    reliability = 1.0f / doubt;
}

void WeakReceiver::deliver(int64_t sync, int64_t nextSync, bool follows) {
    if (!listener_) return;
    // Bytes in the first half placed from this frame's sync, the rest from the next one's,
    // so that a slip of the count within the frame stays in one half.
    const int64_t firstByte = sync - (6 * kSymbolsPerByte - 1);
    const int64_t nextFirstByte = nextSync - (6 * kSymbolsPerByte - 1);
    float unused = 0.0f;
    for (int j = 0; j < kLeadParityBytes; ++j)
        readByte(firstByte - (kLeadParityBytes - j) * kSymbolsPerByte, before_[j], unused);
    for (int b = 0; b < kSentBytes; ++b) {
        const int64_t start = b < kSentBytes / 2
                                  ? firstByte + b * kSymbolsPerByte
                                  : nextFirstByte - (kSentBytes - b) * kSymbolsPerByte;
        readByte(start, bytes_[b], reliability_[b]);
    }
    listener_->sentFrame(before_, bytes_, reliability_, follows);
}

} // namespace nimbo
