// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/iq_blocks.h"

#include <algorithm>

#include "dsp/signal.h"

namespace nimbo {

namespace {
constexpr std::size_t kRoom = kBlockSamples + IqDecimator::kMaxOutput;
} // namespace

IqBlockSource::IqBlockSource(int rate, double offsetHz)
    : decimator_(rate, offsetHz), outI_(new float[kRoom]), outQ_(new float[kRoom]) {}

bool IqBlockSource::next(int16_t* block) {
    while (pending_ < static_cast<std::size_t>(kBlockSamples) && !ended_) {
        const std::size_t n =
            read(decimator_.inputI(), decimator_.inputQ(), IqDecimator::kMaxInput);
        if (n < IqDecimator::kMaxInput) ended_ = true;
        pending_ += decimator_.process(n, outI_.get() + pending_, outQ_.get() + pending_);
    }
    if (pending_ == 0) return false;
    const std::size_t n = std::min(pending_, static_cast<std::size_t>(kBlockSamples));
    gain_.apply(outI_.get(), outQ_.get(), n, block);
    std::copy(outI_.get() + n, outI_.get() + pending_, outI_.get());
    std::copy(outQ_.get() + n, outQ_.get() + pending_, outQ_.get());
    pending_ -= n;
    return true;
}

} // namespace nimbo
