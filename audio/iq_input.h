// SPDX-License-Identifier: GPL-3.0-or-later
// Sources of 0.1 s blocks of 48 kHz complex baseband (left word I, right word Q) for the
// decoder: an SDR's raw I/Q pairs on a stream or in a file, or a two-channel recording
// (left = I, right = Q), at the rate they were made, shifted so that the sonde sits at 0 Hz.
#pragma once

#include <memory>
#include <string>

#include "audio/audio_input.h"

namespace nimbo {

// Raw I/Q rates accepted, samples (pairs) per second; files may go down to 32 kHz.
inline constexpr int kMinRawIqRate = 48000;

struct RawIqFormat {
    int rate = 240000;
    RawSampleFormat sample = RawSampleFormat::U8; // u8: offset binary, 127.5 is zero
    double offsetHz = 0.0;                        // where the sonde sits from the centre
};

// "" when the format can be read, otherwise one line saying what is wrong.
std::string checkRawIqFormat(const RawIqFormat& format);
// "" when the sonde, its carrier search (+-10 kHz) and its width fit inside the band of
// I/Q sampled at `rate`.
std::string checkIqOffset(double offsetHz, int rate);

// Raw I/Q pairs from a file descriptor (not closed) or from a named file; null with
// `error` set when the format or the file cannot be read.
std::unique_ptr<BlockSource> openRawIq(int fd, const RawIqFormat& format, std::string& error);
std::unique_ptr<BlockSource> openRawIqFile(const std::string& path, const RawIqFormat& format,
                                           std::string& error);
// A two-channel audio file as I/Q at its own rate; mono is refused.
std::unique_ptr<BlockSource> openIqFile(const std::string& path, double offsetHz,
                                        std::string& error);

} // namespace nimbo
