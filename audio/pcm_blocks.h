// SPDX-License-Identifier: GPL-3.0-or-later
// The common back end of every audio source: sample frames at the input's own rate, 16-bit
// or float, resampled to 48 kHz when needed (libsoxr), as 16 bits cut into 0.1 s blocks.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/audio_input.h"

struct soxr; // libsoxr's resampler

namespace nimbo {

// Infinities and NaN in a float file or stream become silence, never a wild sample.
inline float finiteSample(float x) {
    return std::isfinite(x) ? x : 0.0f;
}

// How a source delivers its samples: 16-bit ones go through untouched (and into the
// resampler as they are), floats are rounded to 16 bits.
enum class SampleType { Int16, Float };

class PcmBlockSource : public BlockSource {
  public:
    // `rate`: frames per second of the input; `lanes`: 1 or 2 samples per frame that the
    // source delivers (one lane feeds both output channels).
    PcmBlockSource(int rate, int lanes, SampleType type);
    ~PcmBlockSource() override;
    PcmBlockSource(const PcmBlockSource&) = delete;
    PcmBlockSource& operator=(const PcmBlockSource&) = delete;

    // False when the resampler could not be set up (then error() says why).
    bool ready() const { return !broken_; }

    bool next(int16_t* block) final;
    std::string error() const override { return error_; }

  protected:
    int lanes() const { return lanes_; }
    // The source's half, by its SampleType: writes up to maxFrames frames of `lanes`
    // samples (floats at full scale +-1) and returns how many; fewer than asked only at the
    // end of the input. May set error_ when it ends badly.
    virtual std::size_t readShortFrames(int16_t* /*frames*/, std::size_t /*maxFrames*/) {
        return 0;
    }
    virtual std::size_t readFloatFrames(float* /*frames*/, std::size_t /*maxFrames*/) {
        return 0;
    }

    std::string error_;

  private:
    std::size_t read(void* frames, std::size_t maxFrames);
    std::size_t fillResampled(std::size_t have);
    std::size_t fillDirect(std::size_t have);

    static constexpr std::size_t kChunkFrames = 2048; // input frames per resampler call

    int lanes_;
    SampleType type_;
    std::size_t sampleBytes_;
    bool broken_ = false;       // no resampler
    soxr* resampler_ = nullptr; // null at 48 kHz
    bool inputEnded_ = false;
    bool flushed_ = false;
    std::size_t chunkFrames_ = 0, chunkUsed_ = 0;
    // Input frames waiting, floats or 16-bit samples (raw storage holds either kind).
    std::unique_ptr<unsigned char[]> staging_;
    std::unique_ptr<int16_t[]> out_;   // one block of 48 kHz frames
};

} // namespace nimbo
