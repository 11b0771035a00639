// SPDX-License-Identifier: GPL-3.0-or-later
// The signal every stage works on: 48 kHz, 16-bit stereo PCM taken in blocks of 0.1 s.
#pragma once

namespace nimbo {

inline constexpr int kSampleRate = 48000; // sample frames per second
inline constexpr double samplePeriod = 1.0 / kSampleRate;
inline constexpr int kBlockSamples = kSampleRate / 10; // one 0.1 s capture buffer: 4800
inline constexpr int kInputChannels = 2;               // left and right, interleaved, left first
inline constexpr int kBlockWords = kInputChannels * kBlockSamples;

} // namespace nimbo
