// Who the weak-signal receiver hands its RS92 frames to.
#pragma once

#include "dsp/sent_frame.h"

namespace nimbo {

// Told once per sent frame, about one frame period after its sync bytes.
class SentFrameListener {
  public:
    // `before` holds the 24 bytes heard just before the frame's sync bytes (the parity of the
    // frame before); `bytes` the 240 bytes of the frame and `reliability` a positive
    // confidence per byte (about 0.1 for a guess, higher the surer). `follows` is true when
    // the previous call was about the frame just before this one. Returns whether the frame
    // passed any of its checks (repaired or not): frames that keep failing send the receiver
    // back to its search.
    virtual bool sentFrame(sent::ParityBytes before, sent::SentBytes bytes,
                           sent::Reliabilities reliability, bool follows) = 0;

  protected:
    ~SentFrameListener() = default;
};

} // namespace nimbo
