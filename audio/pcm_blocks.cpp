// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pcm_blocks.h"

#include <soxr.h>

#include <algorithm>
#include <cstring>

#include "dsp/signal.h"

namespace nimbo {
namespace {

// Rounds to the nearest 16-bit value without branches, so the loop below vectorises:
// adding and taking away 1.5 * 2^23 leaves a float of that size no fraction bits. A NaN (a
// float file may hold them) becomes silence; infinities clip.
int16_t toSample(float x) {
    x = x == x ? x : 0.0f;
    float v = std::min(std::max(x * 32768.0f, -32768.0f), 32767.0f);
    v = (v + 12582912.0f) - 12582912.0f;
    return static_cast<int16_t>(v);
}

} // namespace

PcmBlockSource::PcmBlockSource(int rate, int lanes, SampleType type)
    : lanes_(lanes), type_(type),
      sampleBytes_(type == SampleType::Int16 ? sizeof(int16_t) : sizeof(float)),
      out_(new int16_t[static_cast<std::size_t>(kBlockSamples) * lanes]) {
    if (rate == kSampleRate) {
        // 16-bit samples go straight into the block; floats wait here to be rounded.
        if (type == SampleType::Float)
            staging_.reset(new unsigned char[kBlockSamples * sampleBytes_ * lanes]);
        return;
    }
    // 16-bit quality, as the blocks are 16-bit: its errors stay below their rounding. No
    // dither: the same input always gives the same blocks (rounded to nearest, clipped).
    // One thread, as the decoder itself runs on one.
    soxr_io_spec_t io =
        soxr_io_spec(type == SampleType::Int16 ? SOXR_INT16_I : SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
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
    staging_.reset(new unsigned char[kChunkFrames * sampleBytes_ * lanes]);
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
    const int16_t* in = out_.get();
    if (lanes_ == 2) {
        std::memcpy(block, in, 2 * have * sizeof(int16_t));
    } else {
        for (std::size_t i = 0; i < have; ++i)
            block[2 * i] = block[2 * i + 1] = in[i];
    }
    std::fill(block + 2 * have, block + kBlockWords, int16_t{0});
    return true;
}

std::size_t PcmBlockSource::read(void* frames, std::size_t maxFrames) {
    return type_ == SampleType::Int16 ? readShortFrames(static_cast<int16_t*>(frames), maxFrames)
                                      : readFloatFrames(static_cast<float*>(frames), maxFrames);
}

// At 48 kHz the input goes straight into the block, floats by way of rounding.
std::size_t PcmBlockSource::fillDirect(std::size_t have) {
    const std::size_t wanted = kBlockSamples - have;
    int16_t* out = out_.get() + have * lanes_;
    std::size_t got = 0;
    if (type_ == SampleType::Int16) {
        got = read(out, wanted);
    } else {
        got = read(staging_.get(), wanted);
        const auto* in = reinterpret_cast<const float*>(staging_.get());
        for (std::size_t i = 0; i < got * lanes_; ++i)
            out[i] = toSample(in[i]);
    }
    if (got < wanted) flushed_ = true;
    return have + got;
}

std::size_t PcmBlockSource::fillResampled(std::size_t have) {
    if (chunkUsed_ == chunkFrames_ && !inputEnded_) {
        chunkFrames_ = read(staging_.get(), kChunkFrames);
        chunkUsed_ = 0;
        inputEnded_ = chunkFrames_ < kChunkFrames;
    }
    const bool draining = inputEnded_ && chunkUsed_ == chunkFrames_;
    const unsigned char* pending = staging_.get() + chunkUsed_ * lanes_ * sampleBytes_;
    std::size_t used = 0, made = 0;
    // After the last input, calls without input drain what the filter still holds.
    const soxr_error_t failure =
        soxr_process(resampler_, draining ? nullptr : pending,
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
