// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth: writes an RS92-like or RS41 telemetry test signal (48 kHz, 16-bit, stereo, or
// complex I/Q) with known frame content, optionally with noise, rate and frequency errors and
// damage.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/synth/gps_clock.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/pcm_output.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/synth.h"

namespace {

constexpr int kExitFailure = 1; // the output could not be written
constexpr int kExitUsage = 2;   // bad options or values

constexpr const char* kFooter = R"(
Signal (RS92): each frame is the 20 header bytes and 220 content bytes, one frame per second at
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

Noise (--ebn0): Eb/N0 is per data bit, Rb = symbol rate / 2 bits/s (2400 at 4800 symbols/s;
RS41: Rb = symbol rate, 4800 bits/s, one symbol a bit), Eb = Ps / Rb. FM Det, by default, takes the noise where a receiver does: the carrier of
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

RS41 (--sonde rs41): GFSK without Manchester coding, one symbol a bit (so --symbol-rate is
the bit rate, 4800 by default, and Eb/N0 is per bit at that rate, Rb = symbol rate), bits of
each byte least significant first, no start or stop bits; a 1 raises the carrier by the
deviation, a 0 lowers it (--invert swaps them). A frame starts every 4800 bits (one second);
between frames, in the lead-in and after the last frame the sonde sends alternating bits
0, 1, 0, 1. Each frame is 320 bytes: the header 86 35 F4 40 93 DF 1A 60, the parity of the two
interleaved Reed-Solomon codewords, the length byte 0F, then the blocks 79 (frame number from
--first-frame, serial, calibration subframe (--first-piece + n) mod 51; subframe 0 gives
405.30 MHz), 7A (raw counts of temperature and humidity following the flight), 7C (GPS week
and time of week from --start, 9 satellites), 7D (raw GPS filler), 7B (ECEF position in cm and
velocity in cm/s) and 76 (padding), each with its CRC; then the whole frame is XORed with the
64-byte mask, as sent. The sonde always flies: frame n is n seconds after launch from --site
(at height 0 on the WGS84 ellipsoid), climbs and falls as in --flight above and drifts with a
wind of 3 m/s east and 1 m/s north at the ground that grows by 1.5 m/s east and 0.3 m/s south
per km of height; it stops drifting once landed. The velocity is the time derivative of the
position sent. --frame-file sends one given frame (hexadecimal, whitespace ignored, 320 or 518
bytes before scrambling, as frames are published) every second unchanged instead. The other
channel is silent; --corrupt, --humid-swap and --other-serial do not apply. --truth writes each
frame before scrambling as lower-case hexadecimal (640 digits for 320 bytes).

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

// "LAT,LON" in degrees; false when malformed.
bool parseSite(const std::string& text, double& latitude, double& longitude) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const auto number = [](const std::string& part, double& value) {
        if (part.empty()) return false;
        char* end = nullptr;
        errno = 0;
        value = std::strtod(part.c_str(), &end);
        return errno == 0 && end == part.c_str() + part.size() && std::isfinite(value);
    };
    return number(text.substr(0, comma), latitude) && number(text.substr(comma + 1), longitude);
}

// The frame of --frame-file, or one line saying why there is none.
std::string readFrameFile(const std::string& path, std::vector<uint8_t>& frame) {
    constexpr std::streamsize kMaxFileBytes = 65536; // a frame's hex with generous whitespace
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read frame file " + path + ": " + std::strerror(errno);
    std::string text(static_cast<std::size_t>(kMaxFileBytes) + 1, '\0');
    in.read(text.data(), kMaxFileBytes + 1);
    if (in.bad()) return "cannot read frame file " + path;
    if (in.gcount() > kMaxFileBytes) return "frame file " + path + " is larger than 64 KiB";
    text.resize(static_cast<std::size_t>(in.gcount()));
    const std::string problem = nimbo::synth::parseFrameHex(text, frame);
    return problem.empty() ? problem : "frame file " + path + ": " + problem;
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
    std::string sonde = "rs92";
    std::string site, start, frameFile;

    CLI::App app{"nimbo-synth: RS92 and RS41 radiosonde telemetry test signal generator (48 kHz, "
                 "16-bit PCM, stereo, or complex I/Q)"};
    app.footer(kFooter);
    app.add_option("-o,--output", output,
                   "Output WAV file, or - for raw s16le stereo PCM on stdout (I/Q: raw pairs to "
                   "a file, a WAV file if OUT ends in .wav, or - for stdout)")
        ->required()
        ->type_name("OUT");
    app.add_option("-n,--frames", o.frames, "Frames to send, 1..100000 (default 10)");
    app.add_option("--sonde", sonde, "Sonde type: rs92 (default) or rs41 (see below)")
        ->check(CLI::IsMember({"rs92", "rs41"}))
        ->type_name("TYPE");
    CLI::Option* serialOption = app.add_option(
        "--serial", o.serial,
        "Sonde serial number, up to 8 characters (default N1234567; RS41: exactly 8, default " +
            std::string(nimbo::synth::kRs41DefaultSerial) + ")");
    CLI::Option* firstFrameOption =
        app.add_option("--first-frame", o.firstFrameNumber,
                       "Frame number of the first frame, 0..65535 (default 1)");
    CLI::Option* firstPieceOption =
        app.add_option("--first-piece", o.firstCalIndex,
                       "Calibration piece of the first frame, 0..31 (RS41: subframe 0..50; "
                       "default 0)");
    CLI::Option* siteOption =
        app.add_option("--site", site,
                       "RS41: launch site latitude,longitude in degrees, -85..85,-180..180 "
                       "(default 52.0,5.0)")
            ->type_name("LAT,LON");
    CLI::Option* startOption =
        app.add_option("--start", start,
                       "RS41: UTC of the first frame (the launch), YYYY-MM-DDTHH:MM:SSZ, "
                       "1980-01-06..2099 (default 2024-05-01T11:00:00Z)")
            ->type_name("UTC");
    CLI::Option* frameFileOption =
        app.add_option("--frame-file", frameFile,
                       "RS41: send this frame (hexadecimal text, 320 or 518 bytes before "
                       "scrambling) every second instead of the built frames")
            ->type_name("FILE");
    for (CLI::Option* built :
         {serialOption, firstFrameOption, firstPieceOption, siteOption, startOption})
        built->excludes(frameFileOption);
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
                   "Eb/N0 in dB per data bit (RS92 2400 bit/s; RS41 4800 bit/s, one symbol a bit), "
                   "-30 or more, or inf (default: inf, no noise); see below")
        ->type_name("DB");
    app.add_option("--symbol-rate", o.symbolRate,
                   "Symbols per second, 4000..5600 (default 4800; RS41: one symbol a bit)");
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
                 "and fall (see below; RS41: always)");
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
                   "Write the content bytes of every frame, one line of 440 hex digits each "
                   "(RS41: the frame before scrambling, 640 lower-case digits)")
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
    if (sonde == "rs41") {
        o.sonde = nimbo::synth::Sonde::Rs41;
        if (app.count("--other-serial") > 0)
            return usageError("--other-serial does not apply to --sonde rs41 (the other channel "
                              "is silent)");
        if (app.count("--serial") == 0) o.serial = nimbo::synth::kRs41DefaultSerial;
        if (!site.empty() && !parseSite(site, o.siteLatitudeDeg, o.siteLongitudeDeg))
            return usageError("--site wants LAT,LON in degrees: " + site);
        if (!start.empty() && !nimbo::synth::parseUtcIso(start, o.startUnixSeconds))
            return usageError("--start wants a UTC time YYYY-MM-DDTHH:MM:SSZ from 1980-01-06 "
                              "to 2099: " +
                              start);
        if (!frameFile.empty()) {
            const std::string problem = readFrameFile(frameFile, o.frameFile);
            if (!problem.empty()) return usageError(problem);
        }
    } else {
        for (const char* rs41Only : {"--site", "--start", "--frame-file"})
            if (app.count(rs41Only) > 0)
                return usageError(std::string(rs41Only) + " needs --sonde rs41");
    }
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
