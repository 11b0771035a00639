// SPDX-License-Identifier: GPL-3.0-or-later
// Sources of 0.1 s blocks of 48 kHz 16-bit stereo PCM for the decoder: an audio file read
// through libsndfile, or raw PCM arriving on standard input, at any sample rate (resampled
// to 48 kHz with libsoxr).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/signal.h"

namespace nimbo {

class BlockSource {
  public:
    virtual ~BlockSource() = default;
    // Fills `block` with the next kBlockSamples stereo frames; a short last block is
    // padded with silence. False when no samples were left.
    virtual bool next(int16_t* block) = 0;
    // After the end: an error text when the input ended early or failed ("" if not).
    virtual std::string error() const { return {}; }
    // Progress in [0, 1] where the length is known, otherwise -1.
    virtual double progress() const { return -1.0; }
};

// Input sample rates accepted, files and raw streams alike.
inline constexpr int kMinInputRate = 8000;
inline constexpr int kMaxInputRate = 768000;

// Which input channel the caller listens to: 0 left, 1 right, kBothChannels both. With one
// channel chosen only it is resampled (half the work) and it feeds both output channels.
inline constexpr int kBothChannels = -1;

// Opens an audio file; on failure returns null and sets `error` to one clear line.
// Mono files feed both channels; with more than two channels the first two are used.
// Pipes, FIFOs and character devices are read once, to their end.
std::unique_ptr<BlockSource> openAudioFile(const std::string& path, std::string& error,
                                           int channel = kBothChannels);

enum class RawSampleFormat { S16, U8, F32 }; // s16 and f32 little-endian, u8 centred on 128

struct RawPcmFormat {
    int rate = kSampleRate;
    int channels = 2; // 1 or 2, interleaved, left first
    RawSampleFormat sample = RawSampleFormat::S16;
};

// "" when the format can be read, otherwise one line saying what is wrong.
std::string checkRawPcmFormat(const RawPcmFormat& format);

// Raw PCM from a file descriptor (by default signed 16-bit little-endian stereo at 48 kHz);
// null with `error` set when the format cannot be read.
std::unique_ptr<BlockSource> openRawPcm(int fd, const RawPcmFormat& format, std::string& error,
                                        int channel = kBothChannels);
// The default format; never fails.
std::unique_ptr<BlockSource> openRawPcm(int fd);

} // namespace nimbo
