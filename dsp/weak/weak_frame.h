// SPDX-License-Identifier: GPL-3.0-or-later
// Who the weak-signal receiver hands its RS92 and RS41 frames to.
#pragma once

#include <cstdint>
#include <span>

#include "dsp/rs41_air.h"
#include "dsp/sent_frame.h"

namespace nimbo {

// Told once per sent frame, about one frame period after its sync bytes.
class SentFrameListener {
  public:
    // `before` holds the 24 bytes heard just before the frame's sync bytes (the parity of the
    // frame before); `bytes` the 240 bytes of the frame, `second` each byte's next likeliest
    // value (its least sure data bit flipped) and `reliability` a positive
    // confidence per byte (1 when its least sure bit is a guess, less when a start or stop
    // bit came out wrong, higher the surer); `bits` the size of each data bit's soft value,
    // in units of the typical one. `follows` is true when
    // the previous call was about the frame just before this one. Returns whether the frame
    // passed any of its checks (repaired or not): frames that keep failing send the receiver
    // back to its search.
    virtual bool sentFrame(sent::ParityBytes before, sent::SentBytes bytes, sent::SentBytes second,
                           sent::Reliabilities reliability, sent::BitReliabilities bits,
                           bool follows) = 0;

  protected:
    ~SentFrameListener() = default;
};

// Told once per RS41 frame, about a second after its header.
class Rs41FrameListener {
  public:
    // `bytes`: rs41::kMaxFrameBytes bytes as sent (scrambled), from the header on, enough for
    // the longer frame (a shorter one is followed by what came after it); `reliability` a
    // positive confidence per byte. Returns whether the frame passed its checks.
    virtual bool rs41Frame(std::span<const uint8_t, rs41::kMaxFrameBytes> bytes,
                           std::span<const float, rs41::kMaxFrameBytes> reliability) = 0;

  protected:
    ~Rs41FrameListener() = default;
};

} // namespace nimbo
