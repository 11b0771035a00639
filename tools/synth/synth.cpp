// The modulator: frames to a Manchester-coded symbol stream (bit 1 = symbols 0,1), then
// to FM-discriminator audio or a continuous-phase FSK 12 kHz IF, plus white Gaussian noise.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "dsp/frame_sync.h"
#include "tools/synth/mix.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {

namespace {

constexpr int kHeaderBytes = static_cast<int>(headerPatternBytes.size()); // 20
constexpr int kFrameBytesOnAir = kHeaderBytes + kContentBytes;            // 240
constexpr int kSymbolsPerByte = 20; // start bit, 8 data bits, stop bit; 2 symbols each
constexpr int64_t kSymbolsPerFrame = int64_t{kFrameBytesOnAir} * kSymbolsPerByte; // 4800
constexpr double kIfCarrierHz = 12000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Option ranges (also what the command line accepts).
constexpr int kMaxFrames = 100000;
constexpr double kMinSymbolRate = 4000.0, kMaxSymbolRate = 5600.0;
constexpr double kMaxCarrierOffsetHz = 3000.0;
constexpr double kMinDeviationHz = 100.0, kMaxDeviationHz = 6000.0;
constexpr double kMaxAmplitude = 32767.0;
constexpr double kMaxLeadInSeconds = 60.0;
constexpr double kMinEbN0dB = -30.0;

uint64_t noiseSeed(uint32_t seed, int stream) {
    return mixKey(seed, 0x4015E, stream);
}

} // namespace

std::string checkOptions(const SynthOptions& o) {
    const auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi; };
    if (o.frames < 1 || o.frames > kMaxFrames) return "frames must be 1..100000";
    if (o.serial.size() > 8) return "serial number longer than 8 characters: " + o.serial;
    if (o.otherSerial.size() > 8)
        return "other serial number longer than 8 characters: " + o.otherSerial;
    if (o.firstFrameNumber < 0 || o.firstFrameNumber > 65535)
        return "first frame number must be 0..65535";
    if (o.firstCalIndex < 0 || o.firstCalIndex >= kCalPieces)
        return "first calibration piece must be 0..31";
    if (!within(o.symbolRate, kMinSymbolRate, kMaxSymbolRate))
        return "symbol rate must be 4000..5600";
    if (!within(o.carrierOffsetHz, -kMaxCarrierOffsetHz, kMaxCarrierOffsetHz))
        return "carrier offset must be -3000..3000 Hz";
    if (!within(o.deviationHz, kMinDeviationHz, kMaxDeviationHz))
        return "deviation must be 100..6000 Hz";
    if (!within(o.amplitude, 0.0, kMaxAmplitude)) return "amplitude must be 0..32767";
    if (!within(o.leadInSeconds, 0.0, kMaxLeadInSeconds)) return "lead-in must be 0..60 s";
    if (std::isnan(o.ebN0dB) || o.ebN0dB < kMinEbN0dB) return "Eb/N0 must be -30 dB or more";
    if (o.corruptBlock < -1 || o.corruptBlock > 2)
        return "corrupted block must be sonde, sensor or gps";
    if ((o.corruptFrame >= 0) != (o.corruptBlock >= 0) || o.corruptFrame < -1)
        return "a corruption needs both a frame and a block";
    if (o.corruptFrame >= o.frames) return "corrupted frame must be 0..frames-1";
    return {};
}

double noiseVariance(const SynthOptions& o) {
    if (std::isinf(o.ebN0dB) && o.ebN0dB > 0) return 0.0;
    const double ps = o.ifSignal ? o.amplitude * o.amplitude / 2.0 : o.amplitude * o.amplitude;
    const double bitRate = o.symbolRate / 2.0;
    const double ebN0 = std::pow(10.0, o.ebN0dB / 10.0);
    return ps * kOutputSampleRate / (2.0 * bitRate * ebN0);
}

int64_t signalLength(const SynthOptions& o) {
    const std::string problem = checkOptions(o);
    if (!problem.empty()) throw std::invalid_argument(problem);
    const int64_t leadIn = std::llround(o.leadInSeconds * kOutputSampleRate);
    const int64_t nominal = leadIn + int64_t{o.frames} * kOutputSampleRate;
    // Symbol k occupies the samples m with floor(m * rate / 48000) == k; the last frame's
    // symbols all fit once m reaches frames * 4800 * 48000 / rate.
    const double symbols = static_cast<double>(int64_t{o.frames} * kSymbolsPerFrame);
    const int64_t needed =
        leadIn + static_cast<int64_t>(std::ceil(symbols * kOutputSampleRate / o.symbolRate));
    return std::max(nominal, needed);
}

Synthesizer::Synthesizer(const SynthOptions& options) : options_(options) {
    const std::string problem = checkOptions(options);
    if (!problem.empty()) throw std::invalid_argument(problem);
    length_ = signalLength(options);
    leadInFrames_ = std::llround(options.leadInSeconds * kOutputSampleRate);
    noiseSigma_ = std::sqrt(noiseVariance(options));

    streams_[0].options = options;
    streams_[0].active = true;
    streams_[1].options = options;
    streams_[1].options.serial = options.otherSerial;
    streams_[1].options.corruptFrame = -1;
    streams_[1].options.corruptBlock = -1;
    streams_[1].active = !options.otherSerial.empty();
    for (int s = 0; s < 2; ++s)
        streams_[s].noiseState = noiseSeed(options.seed, s);
}

// Symbol k of the stream, counted from the first header symbol. Before the first frame and
// after the last the line idles with stop bits (bit 1: symbols 0, 1).
int Synthesizer::symbolAt(Stream& stream, int64_t k) {
    const int64_t frameIndex = k >= 0 ? k / kSymbolsPerFrame : -1;
    if (k < 0 || frameIndex >= stream.options.frames) return static_cast<int>(k & 1);
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

double Synthesizer::cleanSample(Stream& stream, int symbol) {
    const SynthOptions& o = stream.options;
    if (!o.ifSignal) {
        const double level =
            o.amplitude * (symbol ? 1.0 : -1.0) + o.carrierOffsetHz * o.amplitude / o.deviationHz;
        return o.invert ? -level : level;
    }
    const bool high = (symbol != 0) != o.invert;
    const double frequency =
        kIfCarrierHz + o.carrierOffsetHz + (high ? o.deviationHz : -o.deviationHz);
    const double value = o.amplitude * std::sin(stream.phase);
    stream.phase += kTwoPi * frequency / kOutputSampleRate;
    if (stream.phase >= kTwoPi) stream.phase -= kTwoPi;
    return value;
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
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(maxFrames), length_ - position_);
    const int signalWord = options_.rightChannel ? 1 : 0;
    for (int64_t i = 0; i < count; ++i, ++position_) {
        // The symbol clock: symbol k at sample m is floor(m * rate / 48000), counted from the
        // end of the lead-in. Computed afresh each sample, so it never drifts.
        const double t = static_cast<double>(position_ - leadInFrames_);
        const int64_t k =
            static_cast<int64_t>(std::floor(t * options_.symbolRate / kOutputSampleRate));
        for (int s = 0; s < 2; ++s) {
            Stream& stream = streams_[s];
            double v = 0.0;
            if (stream.active) {
                v = cleanSample(stream, symbolAt(stream, k));
                if (noiseSigma_ > 0.0) v += noiseSigma_ * gaussian(stream);
            }
            const double clipped = std::clamp(std::round(v), -32768.0, 32767.0);
            const int word = s == 0 ? signalWord : 1 - signalWord;
            out[2 * i + word] = static_cast<int16_t>(clipped);
        }
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
