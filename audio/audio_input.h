// Sources of 0.1 s blocks of 48 kHz 16-bit stereo PCM for the decoder: an audio file read
// through libsndfile, or raw PCM arriving on standard input.
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

// Opens an audio file; on failure returns null and sets `error` to one clear line.
// Mono files feed both channels; with more than two channels the first two are used.
std::unique_ptr<BlockSource> openAudioFile(const std::string& path, std::string& error);

// Raw signed 16-bit little-endian stereo PCM at 48 kHz from a file descriptor.
std::unique_ptr<BlockSource> openRawPcm(int fd);

} // namespace nimbo
