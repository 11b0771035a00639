#include "audio/pcm_blocks.h"

#include <soxr.h>

#include <algorithm>

#include "dsp/signal.h"

namespace nimbo {
namespace {

// Rounds to the nearest 16-bit value without branches, so the loops below vectorise:
// adding and taking away 1.5 * 2^23 leaves a float of that size no fraction bits. A NaN (a
// float file may hold them) becomes silence; infinities clip.
int16_t toSample(float x) {
    x = x == x ? x : 0.0f;
    float v = std::min(std::max(x * 32768.0f, -32768.0f), 32767.0f);
    v = (v + 12582912.0f) - 12582912.0f;
    return static_cast<int16_t>(v);
}

} // namespace

PcmBlockSource::PcmBlockSource(int rate, int lanes)
    : lanes_(lanes), out_(new float[static_cast<std::size_t>(kBlockSamples) * lanes]) {
    if (rate == kSampleRate) return;
    // 16-bit quality, as the blocks are 16-bit: its errors stay below their rounding. One
    // thread, as the decoder itself runs on one.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t failure = nullptr;
    resampler_ = soxr_create(rate, kSampleRate, static_cast<unsigned>(lanes), &failure, &io,
                             &quality, &runtime);
    if (!resampler_ || failure) {
        error_ = std::string("cannot resample to 48 kHz: ") + (failure ? failure : "no resampler");
        broken_ = true;
        return;
    }
    chunk_.reset(new float[kChunkFrames * static_cast<std::size_t>(lanes)]);
}

PcmBlockSource::~PcmBlockSource() {
    if (resampler_) soxr_delete(resampler_);
}

bool PcmBlockSource::next(int16_t* block) {
    if (flushed_ || !ready()) return false;
    std::size_t have = 0;
    while (have < static_cast<std::size_t>(kBlockSamples) && !flushed_)
        have = resampler_ ? fillResampled(have) : fillDirect(have);
    if (have == 0) return false;
    const float* in = out_.get();
    if (lanes_ == 2) {
        for (std::size_t i = 0; i < 2 * have; ++i)
            block[i] = toSample(in[i]);
    } else {
        for (std::size_t i = 0; i < have; ++i)
            block[2 * i] = block[2 * i + 1] = toSample(in[i]);
    }
    std::fill(block + 2 * have, block + kBlockWords, int16_t{0});
    return true;
}

// At 48 kHz the input goes straight into the block.
std::size_t PcmBlockSource::fillDirect(std::size_t have) {
    const std::size_t wanted = kBlockSamples - have;
    const std::size_t got = readFrames(out_.get() + have * lanes_, wanted);
    if (got < wanted) flushed_ = true;
    return have + got;
}

std::size_t PcmBlockSource::fillResampled(std::size_t have) {
    if (chunkUsed_ == chunkFrames_ && !inputEnded_) {
        chunkFrames_ = readFrames(chunk_.get(), kChunkFrames);
        chunkUsed_ = 0;
        inputEnded_ = chunkFrames_ < kChunkFrames;
    }
    const bool draining = inputEnded_ && chunkUsed_ == chunkFrames_;
    std::size_t used = 0, made = 0;
    // After the last input, calls without input drain what the filter still holds.
    const soxr_error_t failure =
        soxr_process(resampler_, draining ? nullptr : chunk_.get() + chunkUsed_ * lanes_,
                     draining ? 0 : chunkFrames_ - chunkUsed_, &used, out_.get() + have * lanes_,
                     kBlockSamples - have, &made);
    if (failure) {
        error_ = std::string("resampling failed: ") + failure;
        flushed_ = true;
        return have;
    }
    chunkUsed_ += used;
    if (draining && made == 0) flushed_ = true;
    return have + made;
}

} // namespace nimbo
