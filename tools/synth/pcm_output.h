// Output of nimbo-synth: the signal as a 48 kHz 16-bit stereo WAV file or raw PCM on stdout,
// and the truth file with the content bytes of every frame as sent.
#pragma once

#include <cstdio>
#include <string>

#include "tools/synth/synth.h"

namespace nimbo::synth {

// Writes the whole signal of `options` to `path`: "-" gives raw signed 16-bit little-endian
// interleaved stereo on stdout, any other path a WAV file (48 kHz, 16-bit PCM, stereo).
// Empty on success, otherwise one line saying what failed.
std::string writeSignal(const SynthOptions& options, const std::string& path);

// The content bytes of one frame as 440 upper-case hexadecimal digits.
std::string frameHex(const std::array<uint8_t, kContentBytes>& content);

// Writes one line per frame (frameHex of buildFrame) to `path`. Empty on success.
std::string writeTruth(const SynthOptions& options, const std::string& path);

} // namespace nimbo::synth
