// SPDX-License-Identifier: GPL-3.0-or-later
// The RS41 side of the core: the stage-built receiver with NRZ decisions, each frame
// descrambled and corrected from its bytes' reliabilities, decoded, and what stays known
// about the sonde (its frequency) carried from frame to frame.
#pragma once

#include <cstdint>

#include "dsp/front_end.h"
#include "dsp/weak/weak_receiver.h"
#include "rs41/rs41_frame.h"

namespace nimbo {

class Rs41Core final : private Rs41FrameListener {
  public:
    // `frameDone` is called once per frame the receiver hands over, good or not.
    class Listener {
      public:
        virtual void rs41FrameDone(const rs41::Rs41Frame& frame) = 0;

      protected:
        ~Listener() = default;
    };

    explicit Rs41Core(Listener* listener) : receiver_(this), listener_(listener) {}
    Rs41Core(const Rs41Core&) = delete;
    Rs41Core& operator=(const Rs41Core&) = delete;

    void processBlock(const int16_t* interleaved, const ReceiverSettings& settings) {
        receiver_.processBlock(interleaved, settings);
    }
    void reset();

    const WeakReceiver& receiver() const { return receiver_; }
    const rs41::Rs41Frame& frame() const { return frame_; }
    int64_t framesGood() const { return framesGood_; }

  private:
    bool rs41Frame(std::span<const uint8_t, rs41::kMaxFrameBytes> bytes,
                   std::span<const float, rs41::kMaxFrameBytes> reliability) override;

    WeakReceiver receiver_;
    Listener* listener_;
    std::array<uint8_t, rs41::kMaxFrameBytes> descrambled_{};
    rs41::Rs41Frame frame_;
    rs41::Rs41Sonde sonde_;
    int64_t framesGood_ = 0;
};

} // namespace nimbo
