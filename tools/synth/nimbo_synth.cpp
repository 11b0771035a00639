// nimbo-synth: writes an RS92-like telemetry test signal (48 kHz, 16-bit, stereo, or complex
// I/Q) with known frame content, optionally with noise, rate and frequency errors and damage.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include "tools/synth/iq_format.h"
#include "tools/synth/pcm_output.h"
#include "tools/synth/synth.h"

namespace {

constexpr int kExitFailure = 1; // the output could not be written
constexpr int kExitUsage = 2;   // bad options or values

constexpr const char* kFooter = R"(
Signal: each frame is the 20 header bytes and 220 content bytes, one frame per second at
4800 symbols/s; bytes are a start bit 0, 8 data bits (least significant first) and a stop
bit 1; Manchester coding sends bit 1 as symbols 0,1 and bit 0 as 1,0. A symbol 1 raises the
carrier by the deviation, a 0 lowers it (--invert swaps them). As a sonde sends them, the
frequency pulses are Gaussian-filtered (BT 0.5 at the symbol rate, reaching two symbols
either side); --square keeps each symbol's frequency constant. FM Det audio reads the
frequency: the full deviation is +-amplitude, the carrier offset a DC level of
offset/deviation x amplitude (negated with --invert). The IF is the tone 12 kHz + offset +-
deviation with continuous phase. The lead-in and the time after the last frame carry idle
stop bits. The signal lasts lead-in + frames seconds, a little longer when the symbol rate
is below 4800 so that the last frame is complete.

I/Q (--iq u8|s16|f32): the complex baseband I + jQ = exp(j phase) of the same frequency
pulses (a higher frequency turns it faster counter-clockwise), the carrier at --iq-offset
(plus --carrier-offset) from the centre, written as interleaved I, Q
pairs at --iq-rate samples/s (48000..3200000): u8 round(127.5 + 127.5 x) clipped to 0..255
(offset binary, as rtl_sdr writes), s16 round(32767 x) and f32 x, little-endian, x on a full
scale of +-1; raw to -o FILE or stdout (-), or a two-channel WAV (I left, Q right) when FILE
ends in .wav. The carrier +- (deviation + symbol rate) must stay within +-0.4 x rate. Signal
and noise together have the rms magnitude --iq-level (default 0.4 of full scale), as an SDR's
gain would set them. --invert swaps the deviation's sign; --if, --right, --audio-noise,
--amplitude and --other-serial do not apply (one sonde, no channels).

Noise (--ebn0): Eb/N0 is per data bit, Rb = symbol rate / 2 bits/s (2400 at 4800 symbols/s),
Eb = Ps / Rb. FM Det, by default, takes the noise where a receiver does: the carrier of
power Ps = 1 on the complex baseband gets complex white Gaussian noise of variance
48000 / (Rb * Eb/N0) per sample (N0 over the 48 kHz band), then a 4-pole Butterworth IF
filter of +-7.5 kHz and a phase discriminator, so weak signals click as in a real receiver
(without noise the audio passes the same filter and comes a few samples late).
FM Det with --audio-noise, and the IF, get white Gaussian noise on the samples instead, of
variance sigma^2 = Ps * 48000 / (2 * Rb * Eb/N0), Ps = amplitude^2 for FM Det audio and
amplitude^2 / 2 for the IF, i.e. Eb/N0 measured over the 24 kHz bandwidth of the samples.
I/Q gets complex white Gaussian noise over the whole band: variance (I and Q together)
A^2 * rate / (Rb * Eb/N0) for the carrier magnitude A, i.e. N0 = variance / rate.

Flight (--flight): frame n is n seconds after launch. The sonde climbs at 5 m/s to burst at
31 km (frame 6200, 103 min), then falls under its parachute at 55 m/s slowing to 6 m/s, and
lands after about 138 min. Temperature falls 6.5 K/km from 18 C to -57 C at the tropopause
(11.5 km), stays there to 20 km and warms 1 K/km above; pressure is 1013.25 hPa x
exp(-h / 7 km); relative humidity is about 80 % near the ground with cloud layers near 1.5,
5 and 9 km, almost nil above 11 km. Between the low (0) and high (1) references: Temp
0.2 + 0.6 (T + 60) / 80, Humd 0.15 + 0.75 RH / 100 (Humd2 reads 0.97 RH + 3 %),
Press 0.05 + 0.85 p / 1013.25. References, frame numbers, GPS and calibration table are as
without --flight; the values drift by a few counts of noise from frame to frame.

Channels: the other channel carries an independent frame stream with the same settings,
serial --other-serial, its own noise and no corruption; --other-serial "" leaves it silent.

Exit status: 0 done, 1 the output could not be written, 2 bad options.)";

// One clear line on stderr.
int usageError(const std::string& message) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::cerr << "nimbo-synth: " << line << "\n";
    return kExitUsage;
}

// "FRAME:BLOCK" with BLOCK sonde, sensor or gps; false when malformed.
bool parseCorruption(const std::string& text, int& frame, int& block) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string number = text.substr(0, colon);
    if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        number.size() > 6)
        return false;
    frame = std::stoi(number);
    const std::string name = text.substr(colon + 1);
    if (name == "sonde")
        block = 0;
    else if (name == "sensor")
        block = 1;
    else if (name == "gps")
        block = 2;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using nimbo::synth::SynthOptions;
    SynthOptions o;
    std::string output;
    std::string truthPath;
    std::string corruption;
    double ebN0 = 0.0;
    std::string iqFormat;

    CLI::App app{"nimbo-synth: RS92 radiosonde telemetry test signal generator (48 kHz, 16-bit "
                 "PCM, stereo, or complex I/Q)"};
    app.footer(kFooter);
    app.add_option("-o,--output", output,
                   "Output WAV file, or - for raw s16le stereo PCM on stdout (I/Q: raw pairs to "
                   "a file, a WAV file if OUT ends in .wav, or - for stdout)")
        ->required()
        ->type_name("OUT");
    app.add_option("-n,--frames", o.frames, "Frames to send, 1..100000 (default 10)");
    app.add_option("--serial", o.serial,
                   "Sonde serial number, up to 8 characters (default N1234567)");
    app.add_option("--first-frame", o.firstFrameNumber,
                   "Frame number of the first frame, 0..65535 (default 1)");
    app.add_option("--first-piece", o.firstCalIndex,
                   "Calibration piece of the first frame, 0..31 (default 0)");
    CLI::Option* ifFlag = app.add_flag("--if", o.ifSignal,
                                       "12 kHz IF (continuous-phase FSK) instead of FM Det audio");
    app.add_flag("--invert", o.invert, "Invert the FM Det audio (IF and I/Q: swap the tones)");
    CLI::Option* rightFlag =
        app.add_flag("--right", o.rightChannel, "Signal on the right channel (default left)");
    app.add_flag("--square", o.squarePulses,
                 "Square frequency pulses instead of Gaussian-filtered ones (BT 0.5)");
    CLI::Option* audioNoiseFlag =
        app.add_flag("--audio-noise", o.audioNoise,
                     "FM Det: add the noise to the audio instead of on the RF ahead of the "
                     "receiver model (see below)");
    app.add_option("--ebn0", ebN0,
                   "Eb/N0 in dB, -30 or more, or inf (default: inf, no noise); see below")
        ->type_name("DB");
    app.add_option("--symbol-rate", o.symbolRate, "Symbols per second, 4000..5600 (default 4800)");
    app.add_option("--carrier-offset", o.carrierOffsetHz,
                   "Carrier offset in Hz, -3000..3000 (IF: from 12 kHz; FM Det: a DC offset of "
                   "offset/deviation x amplitude)")
        ->type_name("HZ");
    app.add_option("--deviation", o.deviationHz,
                   "FSK deviation either side in Hz, 100..6000 (default 2400)")
        ->type_name("HZ");
    CLI::Option* amplitudeOption = app.add_option(
        "--amplitude", o.amplitude, "Peak sample value before noise, 0..32767 (default 8000)");
    app.add_option("--lead-in", o.leadInSeconds,
                   "Idle line before the first frame in seconds, 0..60 (default 0)")
        ->type_name("SEC");
    app.add_option("--seed", o.seed, "Noise seed, 0..4294967295 (default 1)");
    app.add_option(
           "--corrupt", corruption,
           "Damage one block of one frame after its CRC: FRAME (0-based) and BLOCK = sonde, "
           "sensor or gps")
        ->type_name("FRAME:BLOCK");
    app.add_flag("--humid-swap", o.humidSwap, "Set the humidity sensor switch (bit 3 of byte 45)");
    app.add_flag("--flight", o.flight,
                 "Sensor channels follow a balloon flight from the first frame: climb, burst "
                 "and fall (see below)");
    CLI::Option* otherSerialOption =
        app.add_option(
               "--other-serial", o.otherSerial,
               "Serial of the frame stream on the other channel (default X9876543; \"\" = silence)")
            ->type_name("S");
    CLI::Option* iqOption =
        app.add_option("--iq", iqFormat,
                       "Complex I/Q instead of audio: u8, s16 or f32 interleaved pairs (see below)")
            ->check(CLI::IsMember({"u8", "s16", "f32"}))
            ->type_name("FORMAT");
    app.add_option("--iq-rate", o.iqRate, "I/Q samples per second, 48000..3200000 (default 48000)")
        ->needs(iqOption)
        ->type_name("R");
    app.add_option("--iq-offset", o.iqOffsetHz,
                   "I/Q: the carrier's place from the centre in Hz (default 0; carrier +- "
                   "(deviation + symbol rate) within +-0.4 x rate)")
        ->needs(iqOption)
        ->type_name("HZ");
    app.add_option("--iq-level", o.iqLevel,
                   "I/Q: rms magnitude of signal and noise, a fraction of full scale above 0 and "
                   "at most 1 (default 0.4)")
        ->needs(iqOption)
        ->type_name("L");
    for (CLI::Option* audioOnly :
         {ifFlag, rightFlag, audioNoiseFlag, amplitudeOption, otherSerialOption})
        audioOnly->excludes(iqOption);
    app.add_option("--truth", truthPath,
                   "Write the content bytes of every frame, one line of 440 hex digits each")
        ->type_name("FILE");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e); // --help
        return usageError(e.what());
    }

    if (app.count("--ebn0") > 0) o.ebN0dB = ebN0; // +inf also means no noise
    if (!iqFormat.empty()) nimbo::synth::parseIqFormat(iqFormat, o.iqFormat); // checked above
    if (!corruption.empty() && !parseCorruption(corruption, o.corruptFrame, o.corruptBlock))
        return usageError("--corrupt wants FRAME:BLOCK with BLOCK sonde, sensor or gps: " +
                          corruption);
    if (output.empty()) return usageError("empty output path");
    const std::string problem = nimbo::synth::checkOptions(o);
    if (!problem.empty()) return usageError(problem);

    if (!truthPath.empty()) {
        const std::string failure = nimbo::synth::writeTruth(o, truthPath);
        if (!failure.empty()) {
            std::cerr << "nimbo-synth: " << failure << "\n";
            return kExitFailure;
        }
    }
    const std::string failure = nimbo::synth::writeSignal(o, output);
    if (!failure.empty()) {
        std::cerr << "nimbo-synth: " << failure << "\n";
        return kExitFailure;
    }
    return 0;
}
