// The common back end of every audio source: float sample frames at the input's own rate,
// resampled to 48 kHz when needed (libsoxr), rounded to 16 bits and cut into 0.1 s blocks.
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <string>

#include "audio/audio_input.h"

struct soxr; // libsoxr's resampler

namespace nimbo {

// Infinities and NaN in a float file or stream become silence, never a wild sample.
inline float finiteSample(float x) {
    return std::isfinite(x) ? x : 0.0f;
}

class PcmBlockSource : public BlockSource {
  public:
    // `rate`: frames per second of the input; `lanes`: 1 or 2 samples per frame that
    // readFrames delivers (one lane feeds both output channels).
    PcmBlockSource(int rate, int lanes);
    ~PcmBlockSource() override;
    PcmBlockSource(const PcmBlockSource&) = delete;
    PcmBlockSource& operator=(const PcmBlockSource&) = delete;

    // False when the resampler could not be set up (then error() says why).
    bool ready() const { return !broken_; }

    bool next(int16_t* block) final;
    std::string error() const override { return error_; }

  protected:
    int lanes() const { return lanes_; }
    // Writes up to maxFrames frames of `lanes` floats (full scale +-1) and returns how many;
    // fewer than asked only at the end of the input. May set error_ when it ends badly.
    virtual std::size_t readFrames(float* frames, std::size_t maxFrames) = 0;

    std::string error_;

  private:
    std::size_t fillResampled(std::size_t have);
    std::size_t fillDirect(std::size_t have);

    static constexpr std::size_t kChunkFrames = 2048; // input frames per resampler call

    int lanes_;
    bool broken_ = false;       // no resampler
    soxr* resampler_ = nullptr; // null at 48 kHz
    bool inputEnded_ = false;
    bool flushed_ = false;
    std::size_t chunkFrames_ = 0, chunkUsed_ = 0;
    std::unique_ptr<float[]> chunk_; // input frames waiting for the resampler
    std::unique_ptr<float[]> out_;   // one block of 48 kHz frames
};

} // namespace nimbo
