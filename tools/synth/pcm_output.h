// SPDX-License-Identifier: GPL-3.0-or-later
// Output of nimbo-synth: the signal as a 48 kHz 16-bit stereo WAV file or raw PCM on stdout
// (I/Q: raw pairs or a WAV file), and the truth file with the bytes of every frame.
#pragma once

#include <cstdio>
#include <string>

#include "tools/synth/synth.h"

namespace nimbo::synth {

// Writes the whole signal of `options` to `path`: "-" gives raw signed 16-bit little-endian
// interleaved stereo on stdout, any other path a WAV file (48 kHz, 16-bit PCM, stereo).
// I/Q: raw pairs in options.iqFormat on stdout ("-") or in the file, or, for a path ending in
// .wav, a two-channel WAV file at the I/Q rate (I left, Q right) holding the same values.
// Empty on success, otherwise one line saying what failed.
std::string writeSignal(const SynthOptions& options, const std::string& path);

// The content bytes of one frame as 440 upper-case hexadecimal digits.
std::string frameHex(const std::array<uint8_t, kContentBytes>& content);

// Writes one line per frame (frameHex of buildFrame; RS41: rs41FrameHex of the descrambled
// frame) to `path`. Empty on success.
std::string writeTruth(const SynthOptions& options, const std::string& path);

} // namespace nimbo::synth
