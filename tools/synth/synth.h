// nimbo-synth's library: RS92-like telemetry frames with known content and the 48 kHz
// stereo test signal (FM-discriminator audio or 12 kHz IF) that carries them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "dsp/signal.h"

namespace nimbo::synth {

inline constexpr int kOutputSampleRate = kSampleRate; // stereo frames per second
inline constexpr int kOutputChannels = 2;             // interleaved, left first
inline constexpr int kContentBytes = 220;             // frame content after the 20-byte header
inline constexpr int kCalTableBytes = 512;
inline constexpr int kCalPieces = 32;
inline constexpr int kCalCoefficients = 66;

struct SynthOptions {
    int frames = 10;                 // frames to send
    std::string serial = "N1234567"; // 8 characters (shorter: padded with NUL; longer: error)
    int firstFrameNumber = 1;        // rising by 1 per frame, modulo 65536
    int firstCalIndex = 0;     // calibration piece of frame 0; frame n carries (first + n) % 32
    bool ifSignal = false;     // false: FM-discriminator audio ("FM Det"); true: 12 kHz IF
    bool invert = false;       // negate the FM Det audio (IF: swap the deviation sign)
    bool rightChannel = false; // signal on the right channel (default left)
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
};

// Empty when the options are usable, otherwise one line saying what is wrong. The functions
// below throw std::invalid_argument with this text for unusable options.
std::string checkOptions(const SynthOptions& options);

// The sonde's 512-byte calibration table (depends on the serial only); frame n carries
// piece (firstCalIndex + n) % 32, table bytes 16k..16k+15.
std::array<uint8_t, kCalTableBytes> calibrationTable(const SynthOptions& options);
// The 66 single-precision coefficients stored in the table (entry n at bytes 65+5n..68+5n);
// all normal numbers, entry 7 is -0.0012345678.
std::array<float, kCalCoefficients> calibrationCoefficients(const SynthOptions& options);
// The index byte of coefficient entry n (table byte 64+5n).
uint8_t calibrationIndexByte(int n);

// The content bytes of frame n (0-based) as sent, after any corruption.
std::array<uint8_t, kContentBytes> buildFrame(const SynthOptions& options, int n);

// The whole signal: interleaved stereo 16-bit samples at 48 kHz, left first. The signal
// channel carries `options`; the other channel the same settings with serial otherSerial,
// its own noise and no corruption, or digital silence when otherSerial is empty.
std::vector<int16_t> synthesize(const SynthOptions& options);

// Stereo frames of the whole signal: leadIn + frames seconds, lengthened (never shortened)
// so that the last symbol of the last frame fits when the symbol rate is below 4800.
int64_t signalLength(const SynthOptions& options);

// Noise variance per sample (sample units squared) for the options: Ps * 48000 / (2 *
// bitRate * EbN0), bitRate = symbolRate / 2, Ps = amplitude^2 (FM Det) or amplitude^2 / 2
// (IF); 0 when ebN0dB is +infinity.
double noiseVariance(const SynthOptions& options);

// The same signal as synthesize(), produced block by block (for long signals).
class Synthesizer {
  public:
    explicit Synthesizer(const SynthOptions& options);

    int64_t length() const { return length_; }     // stereo frames in all
    int64_t position() const { return position_; } // stereo frames produced so far
    // Writes up to maxFrames stereo frames (2 x maxFrames samples); returns how many.
    std::size_t generate(int16_t* interleaved, std::size_t maxFrames);

  private:
    // One frame stream on one channel.
    struct Stream {
        SynthOptions options;
        bool active = false;
        int cachedFrame = -1;
        std::array<uint8_t, 240> bytes{}; // header then content of cachedFrame
        double phase = 0.0;               // IF carrier phase, radians in [0, 2 pi)
        uint64_t noiseState = 0;
        bool haveSpare = false; // Box-Muller gives two values at a time
        double spare = 0.0;
    };

    int symbolAt(Stream& stream, int64_t symbolIndex);
    double cleanSample(Stream& stream, int symbol);
    double gaussian(Stream& stream);

    SynthOptions options_;
    int64_t length_ = 0;
    int64_t leadInFrames_ = 0;
    int64_t position_ = 0;
    double noiseSigma_ = 0.0;
    std::array<Stream, 2> streams_; // 0: the signal, 1: the other channel
};

} // namespace nimbo::synth
