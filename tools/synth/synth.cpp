// SPDX-License-Identifier: GPL-3.0-or-later
// The modulator: frames to a Manchester-coded symbol stream (bit 1 = symbols 0,1; RS41: the
// scrambled bits themselves, least significant first), then
// Gaussian-filtered (or square) frequency pulses, to FM-discriminator audio, a continuous-
// phase 12 kHz IF or complex I/Q, with white Gaussian noise on the RF ahead of a receiver
// model or on the samples.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include "dsp/frame_sync.h"
#include "rs41/codewords.h"
#include "rs41/gps_time.h"
#include "tools/synth/mix.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/rs41_track.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {

namespace {

constexpr int kHeaderBytes = static_cast<int>(headerPatternBytes.size()); // 20
constexpr int kFrameBytesOnAir = kHeaderBytes + kContentBytes;            // 240
constexpr int kSymbolsPerByte = 20; // start bit, 8 data bits, stop bit; 2 symbols each
constexpr int64_t kSymbolsPerFrame = int64_t{kFrameBytesOnAir} * kSymbolsPerByte; // 4800
// An RS41 frame starts every 4800 symbols too, one second at 4800 bit/s; its longest frame
// (4144 bits) leaves room for the alternating bits between frames at any symbol rate.
static_assert(rs41::kMaxFrameBytes * rs41::kBitsPerByte < kSymbolsPerFrame);
constexpr double kIfCarrierHz = 12000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The transmitter's Gaussian filter, bandwidth x symbol period.
constexpr double kPulseBt = 0.5;
// The receiver model's IF filter: a 4-pole Butterworth low-pass on the complex baseband,
// i.e. +-7.5 kHz around the carrier; wide enough for the deviation and a few kHz of offset.
constexpr double kIfHalfWidthHz = 7500.0;
// Samples the receiver model runs on the idle line before the signal starts, so that its
// filter has settled when the first sample is written.
constexpr int kReceiverPreRoll = 48;

uint64_t noiseSeed(uint32_t seed, int stream) {
    return mixKey(seed, 0x4015E, stream);
}

// Samples (stereo frames or I/Q pairs) per second of the output.
int outputRate(const SynthOptions& o) {
    return isIq(o) ? o.iqRate : kOutputSampleRate;
}

} // namespace

double dataBitRate(const SynthOptions& o) {
    return o.sonde == Sonde::Rs41 ? o.symbolRate : o.symbolRate / 2.0;
}

double noiseVariance(const SynthOptions& o) {
    if (std::isinf(o.ebN0dB) && o.ebN0dB > 0) return 0.0;
    const double ps = o.ifSignal ? o.amplitude * o.amplitude / 2.0 : o.amplitude * o.amplitude;
    const double bitRate = dataBitRate(o);
    const double ebN0 = std::pow(10.0, o.ebN0dB / 10.0);
    return ps * kOutputSampleRate / (2.0 * bitRate * ebN0);
}

double rfNoiseVariance(const SynthOptions& o) {
    if (std::isinf(o.ebN0dB) && o.ebN0dB > 0) return 0.0;
    const double bitRate = dataBitRate(o);
    const double ebN0 = std::pow(10.0, o.ebN0dB / 10.0);
    // Carrier power 1, so Eb = 1 / bitRate; complex noise over 48 kHz, N0 = variance / 48000.
    return kOutputSampleRate / (bitRate * ebN0);
}

double iqAmplitude(const SynthOptions& o) {
    if (std::isinf(o.ebN0dB) && o.ebN0dB > 0) return o.iqLevel;
    const double ebN0 = std::pow(10.0, o.ebN0dB / 10.0);
    return o.iqLevel / std::sqrt(1.0 + o.iqRate / (dataBitRate(o) * ebN0));
}

double iqNoiseVariance(const SynthOptions& o) {
    if (std::isinf(o.ebN0dB) && o.ebN0dB > 0) return 0.0;
    const double a = iqAmplitude(o);
    const double ebN0 = std::pow(10.0, o.ebN0dB / 10.0);
    return a * a * o.iqRate / (dataBitRate(o) * ebN0);
}

// A square pulse one symbol long through a Gaussian filter of standard deviation
// sqrt(ln 2) / (2 pi B) periods: the difference of two error functions.
double gaussianPulse(double tau) {
    const double a = std::numbers::pi * kPulseBt * std::sqrt(2.0 / std::numbers::ln2);
    return 0.5 * (std::erf(a * (tau + 0.5)) - std::erf(a * (tau - 0.5)));
}

int64_t signalLength(const SynthOptions& o) {
    const std::string problem = checkOptions(o);
    if (!problem.empty()) throw std::invalid_argument(problem);
    const int rate = outputRate(o);
    const int64_t leadIn = std::llround(o.leadInSeconds * rate);
    const int64_t nominal = leadIn + int64_t{o.frames} * rate;
    // Symbol k occupies the samples m with floor(m * symbolRate / rate) == k; the last
    // frame's symbols all fit once m reaches frames * 4800 * rate / symbolRate.
    const double symbols = static_cast<double>(int64_t{o.frames} * kSymbolsPerFrame);
    const int64_t needed = leadIn + static_cast<int64_t>(std::ceil(symbols * rate / o.symbolRate));
    return std::max(nominal, needed);
}

Synthesizer::Synthesizer(const SynthOptions& options) : options_(options) {
    const std::string problem = checkOptions(options);
    if (!problem.empty()) throw std::invalid_argument(problem);
    length_ = signalLength(options);
    rate_ = outputRate(options);
    leadInFrames_ = std::llround(options.leadInSeconds * rate_);
    if (isIq(options)) {
        iqAmplitude_ = iqAmplitude(options);
        iqNoiseSigma_ = std::sqrt(iqNoiseVariance(options) / 2.0);
    } else {
        receiver_ = !options.ifSignal && !options.audioNoise;
        noiseSigma_ = receiver_ ? 0.0 : std::sqrt(noiseVariance(options));
        rfNoiseSigma_ = std::sqrt(rfNoiseVariance(options) / 2.0);
    }

    for (std::size_t i = 0; i < pulse_.size(); ++i)
        pulse_[i] = gaussianPulse(static_cast<double>(i) / kPulseSteps - kPulseReach - 0.5);
    // Butterworth sections (Q = 1 / (2 cos(pi/8)), 1 / (2 cos(3 pi/8))) by the bilinear
    // transform, prewarped so that the cut-off lands at kIfHalfWidthHz.
    const double w0 = kTwoPi * kIfHalfWidthHz / kOutputSampleRate;
    for (int i = 0; i < 2; ++i) {
        const double q = 1.0 / (2.0 * std::cos(std::numbers::pi * (2 * i + 1) / 8.0));
        const double alpha = std::sin(w0) / (2.0 * q), a0 = 1.0 + alpha;
        const double b0 = (1.0 - std::cos(w0)) / 2.0 / a0;
        section_[i] = {b0, 2.0 * b0, b0, -2.0 * std::cos(w0) / a0, (1.0 - alpha) / a0};
    }

    streams_[0].options = options;
    streams_[0].active = true;
    streams_[1].options = options;
    streams_[1].options.serial = options.otherSerial;
    streams_[1].options.corruptFrame = -1;
    streams_[1].options.corruptBlock = -1;
    streams_[1].active =
        !options.otherSerial.empty() && !isIq(options) && options.sonde == Sonde::Rs92;
    for (int s = 0; s < 2; ++s)
        streams_[s].noiseState = noiseSeed(options.seed, s);
    if (receiver_)
        for (Stream& stream : streams_)
            for (int m = -kReceiverPreRoll; m < 0 && stream.active; ++m)
                sample(stream, static_cast<double>(m - leadInFrames_) * options.symbolRate /
                                   kOutputSampleRate);
}

// Symbol k of the stream, counted from the first header symbol. Before the first frame and
// after the last the line idles with stop bits (bit 1: symbols 0, 1); the RS41 sends
// alternating bits 0, 1 there and between its frames.
int Synthesizer::symbolAt(Stream& stream, int64_t k) {
    const int64_t frameIndex = k >= 0 ? k / kSymbolsPerFrame : -1;
    if (k < 0 || frameIndex >= stream.options.frames) return static_cast<int>(k & 1);
    if (stream.options.sonde == Sonde::Rs41) {
        if (frameIndex != stream.cachedFrame) {
            Rs41Bytes& bytes = stream.bytes;
            const int size = buildRs41Frame(stream.options, static_cast<int>(frameIndex), bytes);
            rs41::applyMask(std::span(bytes).first(static_cast<std::size_t>(size)));
            stream.frameBits = size * rs41::kBitsPerByte;
            stream.cachedFrame = static_cast<int>(frameIndex);
        }
        const int bit = static_cast<int>(k % kSymbolsPerFrame);
        if (bit >= stream.frameBits) return static_cast<int>(k & 1);
        return stream.bytes[bit / rs41::kBitsPerByte] >> (bit % rs41::kBitsPerByte) & 1;
    }
    if (frameIndex != stream.cachedFrame) {
        std::copy(headerPatternBytes.begin(), headerPatternBytes.end(), stream.bytes.begin());
        const std::array<uint8_t, kContentBytes> content =
            buildFrame(stream.options, static_cast<int>(frameIndex));
        std::copy(content.begin(), content.end(), stream.bytes.begin() + kHeaderBytes);
        stream.cachedFrame = static_cast<int>(frameIndex);
    }
    const int inFrame = static_cast<int>(k % kSymbolsPerFrame);
    const int byte = stream.bytes[inFrame / kSymbolsPerByte];
    const int slot = inFrame % kSymbolsPerByte;
    const int bitPosition = slot / 2; // 0: start bit, 1..8: data bits LSB first, 9: stop bit
    const int bit = bitPosition == 0 ? 0 : bitPosition == 9 ? 1 : (byte >> (bitPosition - 1)) & 1;
    // Manchester: bit 1 -> symbols 0, 1; bit 0 -> symbols 1, 0. The second symbol is the bit.
    return (slot & 1) ? bit : 1 - bit;
}

// The frequency at t symbol periods from the first header symbol, as a fraction of the
// deviation: +1 for a symbol 1, -1 for a 0, and with Gaussian pulses the sum of the pulses of
// the symbols within reach, kept in a five-symbol window that slides one symbol at a time.
double Synthesizer::frequency(Stream& stream, double t) {
    const auto k = static_cast<int64_t>(std::floor(t));
    if (stream.options.squarePulses) return symbolAt(stream, k) ? 1.0 : -1.0;
    if (k != stream.windowSymbol) {
        if (k == stream.windowSymbol + 1) {
            std::copy(stream.window.begin() + 1, stream.window.end(), stream.window.begin());
            stream.window[4] = static_cast<int8_t>(symbolAt(stream, k + 2));
        } else {
            for (int j = 0; j < 5; ++j)
                stream.window[j] = static_cast<int8_t>(symbolAt(stream, k + j - 2));
        }
        stream.windowSymbol = k;
    }
    const double u = t - static_cast<double>(k); // 0..1 within symbol k
    double f = 0.0;
    for (int j = 0; j < 5; ++j) {
        // tau = u - (j - 2) - 0.5 from the centre of symbol k + j - 2; the table starts at -2.5.
        const double x = (u + 4.0 - j) * kPulseSteps;
        const auto i = static_cast<std::size_t>(x);
        const double p = pulse_[i] + (x - static_cast<double>(i)) * (pulse_[i + 1] - pulse_[i]);
        f += stream.window[j] ? p : -p;
    }
    return f;
}

double Synthesizer::sample(Stream& stream, double t) {
    const SynthOptions& o = stream.options;
    const double f = frequency(stream, t);
    if (!o.ifSignal) {
        if (receiver_) return receiverSample(stream, f);
        const double level = o.amplitude * f + o.carrierOffsetHz * o.amplitude / o.deviationHz;
        return o.invert ? -level : level;
    }
    const double hz = kIfCarrierHz + o.carrierOffsetHz + o.deviationHz * (o.invert ? -f : f);
    const double value = o.amplitude * std::sin(stream.phase);
    stream.phase += kTwoPi * hz / kOutputSampleRate;
    if (stream.phase >= kTwoPi) stream.phase -= kTwoPi;
    return value;
}

// What a receiver's FM discriminator gives: the carrier of unit power on the complex
// baseband, complex white noise, the IF filter, then the phase step from sample to sample,
// scaled so that the full deviation reads as the amplitude.
double Synthesizer::receiverSample(Stream& stream, double deviationFraction) {
    const SynthOptions& o = stream.options;
    double re = std::cos(stream.phase), im = std::sin(stream.phase);
    stream.phase +=
        kTwoPi * (o.carrierOffsetHz + o.deviationHz * deviationFraction) / kOutputSampleRate;
    if (stream.phase >= kTwoPi) stream.phase -= kTwoPi;
    if (stream.phase < 0.0) stream.phase += kTwoPi;
    if (rfNoiseSigma_ > 0.0) {
        re += rfNoiseSigma_ * gaussian(stream);
        im += rfNoiseSigma_ * gaussian(stream);
    }
    double* z = stream.ifState.data(); // per section: re s1, re s2, im s1, im s2
    for (const auto& c : section_) {
        const double yr = c[0] * re + z[0], yi = c[0] * im + z[2];
        z[0] = c[1] * re - c[3] * yr + z[1];
        z[1] = c[2] * re - c[4] * yr;
        z[2] = c[1] * im - c[3] * yi + z[3];
        z[3] = c[2] * im - c[4] * yi;
        re = yr;
        im = yi;
        z += 4;
    }
    const double step = std::atan2(im * stream.lastRe - re * stream.lastIm,
                                   re * stream.lastRe + im * stream.lastIm); // radians
    stream.lastRe = re;
    stream.lastIm = im;
    const double hz = step * kOutputSampleRate / kTwoPi;
    const double level = o.amplitude * hz / o.deviationHz;
    return o.invert ? -level : level;
}

// Standard normal values by the Box-Muller transform on a SplitMix64 sequence.
double Synthesizer::gaussian(Stream& stream) {
    if (stream.haveSpare) {
        stream.haveSpare = false;
        return stream.spare;
    }
    stream.noiseState += 1;
    const double u1 = 1.0 - unitInterval(mix64(stream.noiseState)); // (0, 1]
    stream.noiseState += 1;
    const double u2 = unitInterval(mix64(stream.noiseState));
    const double r = std::sqrt(-2.0 * std::log(u1));
    stream.spare = r * std::sin(kTwoPi * u2);
    stream.haveSpare = true;
    return r * std::cos(kTwoPi * u2);
}

std::size_t Synthesizer::generate(int16_t* out, std::size_t maxFrames) {
    if (isIq(options_)) throw std::logic_error("audio asked of an I/Q synthesizer");
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(maxFrames), length_ - position_);
    const int signalWord = options_.rightChannel ? 1 : 0;
    for (int64_t i = 0; i < count; ++i, ++position_) {
        // The symbol clock: symbol k at sample m is floor(m * rate / 48000), counted from the
        // end of the lead-in. Computed afresh each sample, so it never drifts.
        const double t = static_cast<double>(position_ - leadInFrames_) * options_.symbolRate /
                         kOutputSampleRate;
        for (int s = 0; s < 2; ++s) {
            Stream& stream = streams_[s];
            double v = 0.0;
            if (stream.active) {
                v = sample(stream, t);
                if (noiseSigma_ > 0.0) v += noiseSigma_ * gaussian(stream);
            }
            const double clipped = std::clamp(std::round(v), -32768.0, 32767.0);
            const int word = s == 0 ? signalWord : 1 - signalWord;
            out[2 * i + word] = static_cast<int16_t>(clipped);
        }
    }
    return static_cast<std::size_t>(count);
}

// The carrier exp(j phase) at the offset, its frequency moved by the deviation; the phase
// is accumulated in double precision and kept in [0, 2 pi), so it stays continuous over
// hours at 3.2 MHz.
std::size_t Synthesizer::generateIq(float* out, std::size_t maxPairs) {
    if (!isIq(options_)) throw std::logic_error("I/Q asked of an audio synthesizer");
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(maxPairs), length_ - position_);
    Stream& stream = streams_[0];
    const double carrierStep = kTwoPi * (options_.iqOffsetHz + options_.carrierOffsetHz) / rate_;
    const double deviationStep =
        kTwoPi * options_.deviationHz / rate_ * (options_.invert ? -1.0 : 1.0);
    for (int64_t i = 0; i < count; ++i, ++position_) {
        const double t =
            static_cast<double>(position_ - leadInFrames_) * options_.symbolRate / rate_;
        const double f = frequency(stream, t);
        double re = iqAmplitude_ * std::cos(stream.phase);
        double im = iqAmplitude_ * std::sin(stream.phase);
        stream.phase += carrierStep + deviationStep * f;
        if (stream.phase >= kTwoPi) stream.phase -= kTwoPi;
        if (stream.phase < 0.0) stream.phase += kTwoPi;
        if (iqNoiseSigma_ > 0.0) {
            re += iqNoiseSigma_ * gaussian(stream);
            im += iqNoiseSigma_ * gaussian(stream);
        }
        out[2 * i] = static_cast<float>(re);
        out[2 * i + 1] = static_cast<float>(im);
    }
    return static_cast<std::size_t>(count);
}

std::vector<int16_t> synthesize(const SynthOptions& options) {
    Synthesizer synth(options);
    std::vector<int16_t> samples(static_cast<std::size_t>(synth.length()) * kOutputChannels);
    synth.generate(samples.data(), static_cast<std::size_t>(synth.length()));
    return samples;
}

} // namespace nimbo::synth
