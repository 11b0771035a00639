// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/rs41_core.h"

#include <algorithm>

#include "rs41/soft_decode.h"

namespace nimbo {

void Rs41Core::reset() {
    receiver_.reset();
    frame_ = rs41::Rs41Frame{};
    sonde_.reset();
}

bool Rs41Core::rs41Frame(std::span<const uint8_t, rs41::kMaxFrameBytes> bytes,
                         std::span<const float, rs41::kMaxFrameBytes> reliability) {
    std::copy(bytes.begin(), bytes.end(), descrambled_.begin());
    rs41::applyMask(descrambled_);
    rs41::decodeFrameSoft(descrambled_, reliability, frame_);
    sonde_.update(frame_);
    if (frame_.good) ++framesGood_;
    if (listener_) listener_->rs41FrameDone(frame_);
    // Any block whose CRC holds tells the receiver it follows a real frame.
    bool anyBlock = false;
    for (int i = 0; i < frame_.walk.count; ++i)
        anyBlock = anyBlock || frame_.walk.blocks[static_cast<std::size_t>(i)].crcOk;
    return frame_.good || anyBlock;
}

} // namespace nimbo
