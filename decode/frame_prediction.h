// SPDX-License-Identifier: GPL-3.0-or-later
// What a sonde's next frames will hold, learned from its frames that passed their checks:
// bytes that stayed the same, the frame number counting up, the calibration piece index going
// round with it, and the pieces seen on earlier rounds (the frequency words among them).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>

#include "decode/calibration.h"
#include "dsp/sent_frame.h"

namespace nimbo {

class FramePrediction {
  public:
    static constexpr int kNone = -1;
    // A byte is expected to hold its value when it has held it in every good frame of the
    // sonde so far, at least this many, or for the last kLongRun of them: a byte that changes
    // now and then (a slowly drifting reading) would be expected wrong too often.
    static constexpr int kSteadyFrames = 3;
    static constexpr int kLongRun = 32;

    using Predicted = std::span<int16_t, sent::kFrameBytes>;

    // A sent frame whose three block CRCs hold. A new serial number starts the learning over.
    void learn(sent::SentBytes frame);
    // The bytes expected in the sent frame `elapsed` frames after the last learned one
    // (negative: before it), kNone where nothing is expected; elapsed kUnknown leaves out what
    // depends on the frame count. The sync, the constant tail, the CRCs and the parity are
    // never predicted.
    static constexpr int kUnknown = std::numeric_limits<int>::min();
    void predict(int elapsed, Predicted bytes) const;
    void reset() { *this = FramePrediction(); }
    // Places that go wrong together: 0 those predicted from the frame count (the frame
    // number, the piece index, the piece), which a wrong count spoils; 1 the serial, which
    // another sonde changes; 2 the rest.
    static constexpr int kGroups = 3;
    static int group(int b);
    bool learned() const { return frames_ > 0; }

  private:
    std::array<uint8_t, sent::kFrameBytes> last_{};
    std::array<int, sent::kFrameBytes> runs_{};     // good frames in a row with last_'s value
    std::array<bool, sent::kFrameBytes> changed_{}; // the value changed once or more
    int frames_ = 0;
    int frameNumber_ = 0;
    int calIndex_ = 0;
    int calStepRun_ = 0; // good frames in a row whose piece index went round with the count
    std::array<std::array<uint8_t, CalibrationCollection::kPieceBytes>,
               CalibrationCollection::kPieces>
        pieces_{};
    std::array<bool, CalibrationCollection::kPieces> havePiece_{};
};

} // namespace nimbo
