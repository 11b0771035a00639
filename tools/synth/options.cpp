// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's options checked: the ranges the command line accepts and what does not
// go together, one line of text for the first problem found.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "rs41/codewords.h"
#include "rs41/gps_time.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/rs41_track.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {

// Option ranges (also what the command line accepts).
constexpr int kMaxFrames = 100000;
constexpr double kMinSymbolRate = 4000.0, kMaxSymbolRate = 5600.0;
constexpr double kMaxCarrierOffsetHz = 3000.0;
constexpr double kMinDeviationHz = 100.0, kMaxDeviationHz = 6000.0;
constexpr double kMaxAmplitude = 32767.0;
constexpr double kMaxLeadInSeconds = 60.0;
constexpr double kMinEbN0dB = -30.0;
constexpr int64_t kLastStartUnix = 4102444799; // 2099-12-31T23:59:59Z
// I/Q: carrier +- (deviation + symbol rate) must lie within this fraction of the rate either
// side of the centre, inside the flat part of an SDR's anti-alias filter.
constexpr double kIqUsableFraction = 0.4;

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string checkRs41Options(const SynthOptions& o) {
    if (o.corruptFrame >= 0 || o.corruptBlock >= 0) return "--corrupt does not apply to the RS41";
    if (o.humidSwap) return "--humid-swap does not apply to the RS41";
    if (o.firstCalIndex < 0 || o.firstCalIndex >= kRs41Subframes)
        return "first calibration subframe must be 0..50";
    if (!o.frameFile.empty()) {
        if (!rs41::validFrameBytes(static_cast<int>(o.frameFile.size())))
            return "an RS41 frame has 320 or 518 bytes, not " + std::to_string(o.frameFile.size());
        return {};
    }
    if (o.serial.size() != 8 || !printable(o.serial))
        return "an RS41 serial number has 8 printable characters: " + o.serial;
    if (!(std::fabs(o.siteLatitudeDeg) <= kMaxSiteLatitudeDeg))
        return "launch site latitude must be -85..85 degrees";
    if (!(std::fabs(o.siteLongitudeDeg) <= 180.0))
        return "launch site longitude must be -180..180 degrees";
    // The sonde's clock starts at the GPS epoch, and its week number has 16 bits.
    if (o.startUnixSeconds < rs41::kGpsEpochUnix || o.startUnixSeconds > kLastStartUnix)
        return "start time must lie from 1980-01-06 to 2099";
    return {};
}

std::string checkIqOptions(const SynthOptions& o) {
    if (o.ifSignal) return "an I/Q signal cannot also be the 12 kHz IF";
    if (o.rightChannel) return "an I/Q signal has no left or right channel";
    if (o.audioNoise) return "an I/Q signal has no audio to add noise to";
    if (o.iqRate < kMinIqRate || o.iqRate > kMaxIqRate)
        return "I/Q rate must be 48000..3200000 samples/s";
    if (!(o.iqLevel > 0.0 && o.iqLevel <= 1.0)) return "I/Q level must be above 0 and at most 1";
    const double reach = kIqUsableFraction * o.iqRate - o.deviationHz - o.symbolRate;
    const double carrier = o.iqOffsetHz + o.carrierOffsetHz;
    if (!(std::fabs(carrier) <= reach))
        return "I/Q carrier at " + number(carrier) + " Hz lies too near the band edge: at " +
               std::to_string(o.iqRate) + " samples/s, " + number(o.deviationHz) +
               " Hz deviation and " + number(o.symbolRate) + " symbols/s it must be within -" +
               number(reach) + ".." + number(reach) + " Hz";
    return {};
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
    const bool rs41 = o.sonde == Sonde::Rs41;
    if (!rs41 && (o.firstCalIndex < 0 || o.firstCalIndex >= kCalPieces))
        return "first calibration piece must be 0..31";
    if (!rs41 && !o.frameFile.empty()) return "a frame file needs the RS41";
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
    if (rs41) {
        const std::string problem = checkRs41Options(o);
        if (!problem.empty()) return problem;
    }
    if (isIq(o)) return checkIqOptions(o);
    return {};
}

} // namespace nimbo::synth
