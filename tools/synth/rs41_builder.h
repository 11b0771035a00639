// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth's RS41 frames: 320 bytes of a sonde in flight (status with calibration
// subframes, raw measurements, GPS time, raw GPS, position and velocity, padding), every block
// with its CRC and both Reed-Solomon codewords with their parity; or a given frame as it is.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dsp/rs41_air.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {

// Calibration subframe 0, bytes 2 and 3 (k0, k1): 400 MHz + (132 + 128 / 256) x 40 kHz.
inline constexpr uint8_t kRs41FrequencyK0 = 128, kRs41FrequencyK1 = 132;
inline constexpr double kRs41FrequencyMHz = 405.3;
inline constexpr int kRs41Satellites = 9;

using Rs41Bytes = std::array<uint8_t, rs41::kMaxFrameBytes>;

// Frame n (0-based, n seconds after launch) as the sonde makes it, before scrambling; returns
// its length (320, or that of options.frameFile, which is sent unchanged).
int buildRs41Frame(const SynthOptions& options, int n, Rs41Bytes& frame);

// Frame bytes from hexadecimal text, whitespace ignored; empty on success, otherwise one line
// saying what is wrong (an odd digit, a character that is no digit, a length other than 320
// or 518 bytes).
std::string parseFrameHex(const std::string& text, std::vector<uint8_t>& frame);

// Lower-case hexadecimal, two digits a byte, as RS41 frames are published.
std::string rs41FrameHex(std::span<const uint8_t> frame);

} // namespace nimbo::synth
