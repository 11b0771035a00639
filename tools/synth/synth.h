// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's library: RS92-like or RS41 telemetry frames with known content and the signal
// that carries them: 48 kHz stereo audio (FM-discriminator audio or 12 kHz IF) or complex I/Q.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "dsp/rs41_air.h"
#include "dsp/signal.h"

namespace nimbo::synth {

inline constexpr int kOutputSampleRate = kSampleRate; // stereo frames per second
inline constexpr int kOutputChannels = 2;             // interleaved, left first
inline constexpr int kContentBytes = 220;             // frame content after the 20-byte header
inline constexpr int kCalTableBytes = 512;
inline constexpr int kCalPieces = 32;
inline constexpr int kCalCoefficients = 66;
inline constexpr int kMinIqRate = 48000, kMaxIqRate = 3200000; // I/Q samples per second

// The output: 48 kHz stereo audio, or interleaved I/Q pairs as offset-binary bytes (u8, as
// rtl_sdr writes), signed 16-bit or 32-bit float, little-endian.
enum class IqFormat { None, U8, S16, F32 };

// RS92: Manchester-coded bytes with start and stop bits, 240-byte frames. RS41: NRZ, one symbol
// a bit, scrambled 320-byte frames (or 518 from a frame file).
enum class Sonde { Rs92, Rs41 };
inline constexpr const char* kRs41DefaultSerial = "S1234567";
inline constexpr int kRs41Subframes = 51;                // calibration subframes 0..50
inline constexpr int64_t kDefaultStartUnix = 1714561200; // 2024-05-01T11:00:00Z

struct SynthOptions {
    int frames = 10;                 // frames to send
    std::string serial = "N1234567"; // 8 characters (shorter: padded with NUL; longer: error)
    int firstFrameNumber = 1;        // rising by 1 per frame, modulo 65536
    int firstCalIndex = 0;     // calibration piece of frame 0; frame n carries (first + n) % 32
                               // (RS41: subframe (first + n) % 51)
    bool ifSignal = false;     // false: FM-discriminator audio ("FM Det"); true: 12 kHz IF
    bool invert = false;       // negate the FM Det audio (IF: swap the deviation sign)
    bool rightChannel = false; // signal on the right channel (default left)
    bool squarePulses = false; // square frequency pulses instead of Gaussian-filtered (BT 0.5)
    bool audioNoise = false;   // FM Det: noise added to the audio instead of on the RF ahead
                               // of the receiver's IF filter and discriminator
    double ebN0dB = std::numeric_limits<double>::infinity(); // infinity: no noise
    double symbolRate = 4800.0;                              // symbols per second
    double carrierOffsetHz = 0.0; // IF: carrier offset from 12 kHz; FM Det: shows as DC offset
    double deviationHz = 2400.0;  // FSK deviation either side of the carrier
    double amplitude = 8000.0;    // peak sample value of the signal before noise
    double leadInSeconds = 0.0;   // idle line (stop bits) before the first header
    uint32_t seed = 1;            // noise seed
    int corruptFrame = -1;  // 0-based frame whose block is corrupted after its CRC is computed
    int corruptBlock = -1;  // 0: sonde parameter block, 1: sensor block, 2: GPS block
    bool humidSwap = false; // set bit 3 of byte 45 in every frame
    bool flight = false;    // sensor channels follow a balloon flight from launch (flight.h)
    std::string otherSerial = "X9876543"; // the other channel carries an independent frame stream
                                          // with this serial ("" = silence)
    // I/Q output (iqFormat not None): one sonde, no other channel; amplitude, ifSignal,
    // rightChannel and audioNoise do not apply; invert swaps the deviation sign.
    IqFormat iqFormat = IqFormat::None;
    int iqRate = kMinIqRate; // I/Q samples per second, 48000..3200000
    double iqOffsetHz = 0.0; // the carrier's place from the centre (carrierOffsetHz adds to it)
    double iqLevel = 0.4;    // rms magnitude of signal plus noise, fraction of full scale 0..1
    // RS41 (sonde Rs41): symbolRate is the bit rate; the sonde flies (flight.h) from launch at
    // frame 0, drifting from the site; serial of exactly 8 printable characters; corruptFrame,
    // corruptBlock and humidSwap do not apply and the other channel is silent.
    Sonde sonde = Sonde::Rs92;
    double siteLatitudeDeg = 52.0, siteLongitudeDeg = 5.0; // launch site, -85..85, -180..180
    int64_t startUnixSeconds = kDefaultStartUnix;          // UTC of frame 0
    std::vector<uint8_t> frameFile{}; // a descrambled frame (320 or 518 bytes) sent unchanged
                                      // every second instead of the built ones
};

// Data bits per second: symbolRate / 2 for the RS92 (Manchester), symbolRate for the RS41.
double dataBitRate(const SynthOptions& options);

// Empty when the options are usable, otherwise one line saying what is wrong. The functions
// below throw std::invalid_argument with this text for unusable options.
std::string checkOptions(const SynthOptions& options);

inline bool isIq(const SynthOptions& o) {
    return o.iqFormat != IqFormat::None;
}

// The sonde's 512-byte calibration table (depends on the serial only); frame n carries
// piece (firstCalIndex + n) % 32, table bytes 16k..16k+15.
std::array<uint8_t, kCalTableBytes> calibrationTable(const SynthOptions& options);
// The 66 single-precision coefficients stored in the table (entry n at bytes 65+5n..68+5n);
// all normal numbers, entry 7 is -0.0012345678.
std::array<float, kCalCoefficients> calibrationCoefficients(const SynthOptions& options);
// The index byte of coefficient entry n (table byte 64+5n).
uint8_t calibrationIndexByte(int n);

// The content bytes of frame n (0-based) as sent, after any corruption. Bytes 0..23 are the
// Reed-Solomon parity of the sent frame that bytes 24..219 of frame n - 1 began (see
// decode/reed_solomon.h), computed before any damage; frame 0 carries the parity of the frame
// sent just before it (frame number firstFrameNumber - 1).
std::array<uint8_t, kContentBytes> buildFrame(const SynthOptions& options, int n);

// The whole audio signal: interleaved stereo 16-bit samples at 48 kHz, left first. The signal
// channel carries `options`; the other channel the same settings with serial otherSerial,
// its own noise and no corruption, or digital silence when otherSerial is empty.
std::vector<int16_t> synthesize(const SynthOptions& options);

// Stereo frames (I/Q: complex samples) of the whole signal: leadIn + frames seconds,
// lengthened (never shortened) so that the last symbol of the last frame fits when the
// symbol rate is below 4800.
int64_t signalLength(const SynthOptions& options);

// Variance per sample (sample units squared) of the noise added to the output samples (IF,
// and FM Det with audioNoise): Ps * 48000 / (2 * bitRate * EbN0), bitRate = dataBitRate,
// Ps = amplitude^2 (FM Det) or amplitude^2 / 2 (IF); 0 when ebN0dB is +infinity.
double noiseVariance(const SynthOptions& options);
// FM Det receiver model: variance per sample of the complex noise (both parts together) on
// the RF carrier of unit power, 48000 / (bitRate * EbN0); 0 when ebN0dB is +infinity.
double rfNoiseVariance(const SynthOptions& options);
// The Gaussian-filtered frequency pulse of one symbol (BT 0.5): the fraction of the
// deviation it contributes tau symbol periods from its centre; the pulses of all symbols add
// up to 1.
double gaussianPulse(double tau);
// I/Q: the magnitude A of the carrier, full scale 1, such that signal and noise together
// have the rms magnitude iqLevel: iqLevel / sqrt(1 + iqRate / (bitRate * EbN0)).
double iqAmplitude(const SynthOptions& options);
// I/Q: variance of the complex noise (both parts together) over the whole band, full scale
// 1: A^2 * iqRate / (bitRate * EbN0), i.e. N0 = variance / iqRate and Eb = A^2 / bitRate.
double iqNoiseVariance(const SynthOptions& options);

// The same signal as synthesize(), produced block by block (for long signals).
class Synthesizer {
  public:
    explicit Synthesizer(const SynthOptions& options);

    int64_t length() const { return length_; }     // stereo frames (I/Q pairs) in all
    int64_t position() const { return position_; } // stereo frames (I/Q pairs) so far
    // Audio: writes up to maxFrames stereo frames (2 x maxFrames samples); returns how many.
    std::size_t generate(int16_t* interleaved, std::size_t maxFrames);
    // I/Q: writes up to maxPairs I, Q pairs, full scale +-1 (not clipped); returns how many.
    std::size_t generateIq(float* interleaved, std::size_t maxPairs);

  private:
    // One frame stream on one channel.
    struct Stream {
        SynthOptions options;
        bool active = false;
        int cachedFrame = -1;
        std::array<uint8_t, rs41::kMaxFrameBytes> bytes{}; // cachedFrame as sent (RS41 scrambled)
        int frameBits = 0;                                 // RS41: bits of cachedFrame
        double phase = 0.0;                // IF or RF carrier phase, radians in [0, 2 pi)
        std::array<double, 8> ifState{};   // receiver IF filter: 2 sections x {re, im} x 2
        double lastRe = 1.0, lastIm = 0.0; // previous IF filter output, for the discriminator
        int64_t windowSymbol = std::numeric_limits<int64_t>::min(); // symbol at window[2]
        std::array<int8_t, 5> window{}; // symbols windowSymbol - 2 .. windowSymbol + 2
        uint64_t noiseState = 0;
        bool haveSpare = false; // Box-Muller gives two values at a time
        double spare = 0.0;
    };

    int symbolAt(Stream& stream, int64_t symbolIndex);
    double frequency(Stream& stream, double t); // -1..1 of the deviation at t symbols
    double sample(Stream& stream, double t);    // one output sample before rounding
    double receiverSample(Stream& stream, double deviationFraction);
    double gaussian(Stream& stream);

    SynthOptions options_;
    int64_t length_ = 0;
    int rate_ = kOutputSampleRate; // output samples (stereo frames or I/Q pairs) per second
    int64_t leadInFrames_ = 0;
    int64_t position_ = 0;
    double noiseSigma_ = 0.0;   // on the output samples
    double rfNoiseSigma_ = 0.0; // per complex part, on the RF (FM Det receiver model)
    double iqAmplitude_ = 0.0, iqNoiseSigma_ = 0.0; // I/Q: carrier, noise per part
    bool receiver_ = false;                         // FM Det through the receiver model
    std::array<double, 5> section_[2]{};            // IF filter biquads: b0, b1, b2, a1, a2
    static constexpr int kPulseSteps = 256;         // pulse table points per symbol period
    static constexpr int kPulseReach = 2;           // symbols either side that still count
    std::array<double, (2 * kPulseReach + 1) * kPulseSteps + 2> pulse_{}; // from tau -2.5
    std::array<Stream, 2> streams_; // 0: the signal, 1: the other channel
};

} // namespace nimbo::synth
