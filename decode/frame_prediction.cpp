// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/frame_prediction.h"

#include <algorithm>

#include "decode/frame_layout.h"
#include "decode/reed_solomon.h"

namespace nimbo {
namespace {

// Sent place of a content byte: the content's bytes 24.. are the sent frame's 0..
constexpr int sentPlace(int content) {
    return content - rs::kContentSentStart;
}

constexpr int kNumber = sentPlace(frame::kFrameNumber);
constexpr int kSerial = sentPlace(frame::kSerial);
constexpr int kIndex = sentPlace(frame::kCalIndex);
constexpr int kPiece = sentPlace(frame::kCalPiece);
constexpr int kPieces = CalibrationCollection::kPieces;
static_assert(kNumber >= sent::kSyncBytes && kPiece + frame::kCalPieceLength <= sent::kTailStart);

constexpr bool inCrc(int content, frame::Block block) {
    return content == block.last + 1 || content == block.last + 2;
}

// Places whose value is learned as steady or not: the blocks and the bytes between them, but
// not what changes by rule (counted or cycled), and never a CRC, which must stay a check.
constexpr bool steadyPlace(int b) {
    if (b < sent::kSyncBytes || b >= sent::kTailStart) return false;
    if (FramePrediction::group(b) == 0) return false;
    const int c = b + rs::kContentSentStart;
    return !inCrc(c, frame::kSondeBlock) && !inCrc(c, frame::kSensorBlock) &&
           !inCrc(c, frame::kGpsBlock);
}

int frameNumberOf(sent::SentBytes frame) {
    return frame[kNumber] | (frame[kNumber + 1] << 8);
}

} // namespace

int FramePrediction::group(int b) {
    if (b == kNumber || b == kNumber + 1 || b == kIndex ||
        (b >= kPiece && b < kPiece + frame::kCalPieceLength))
        return 0;
    return b >= kSerial && b < kSerial + frame::kSerialLength ? 1 : 2;
}

void FramePrediction::learn(sent::SentBytes frame) {
    if (frames_ > 0 &&
        !std::equal(last_.begin() + kSerial, last_.begin() + kSerial + frame::kSerialLength,
                    frame.begin() + kSerial))
        reset(); // another sonde
    for (int b = 0; b < sent::kFrameBytes; ++b) {
        const bool same = frames_ > 0 && frame[b] == last_[b];
        runs_[b] = same ? runs_[b] + 1 : 1;
        changed_[b] = changed_[b] || (frames_ > 0 && !same);
        last_[b] = frame[b];
    }
    const int number = frameNumberOf(frame);
    const int index = frame[kIndex];
    // Does the piece index keep its distance to the frame number (modulo the 32 pieces)?
    const bool inStep =
        frames_ > 0 && index < kPieces && calIndex_ < kPieces &&
        ((index - number) & (kPieces - 1)) == ((calIndex_ - frameNumber_) & (kPieces - 1));
    calStepRun_ = inStep ? calStepRun_ + 1 : 1;
    frameNumber_ = number;
    calIndex_ = index;
    if (index < kPieces) {
        std::copy_n(frame.begin() + kPiece, frame::kCalPieceLength, pieces_[index].begin());
        havePiece_[index] = true;
    }
    ++frames_;
}

void FramePrediction::predict(int elapsed, Predicted bytes) const {
    std::fill(bytes.begin(), bytes.end(), kNone);
    if (frames_ == 0) return;
    for (int b = 0; b < sent::kFrameBytes; ++b)
        if (steadyPlace(b) && ((!changed_[b] && runs_[b] >= kSteadyFrames) || runs_[b] >= kLongRun))
            bytes[b] = last_[b];
    if (elapsed == kUnknown) return;

    const int number = (frameNumber_ + elapsed) & 0xFFFF;
    bytes[kNumber] = static_cast<int16_t>(number & 0xFF);
    bytes[kNumber + 1] = static_cast<int16_t>(number >> 8);
    if (calStepRun_ < 2) return;
    const int index = (number + calIndex_ - frameNumber_) & (kPieces - 1);
    bytes[kIndex] = static_cast<int16_t>(index);
    if (!havePiece_[index]) return;
    for (int i = 0; i < frame::kCalPieceLength; ++i)
        bytes[kPiece + i] = pieces_[index][i];
}

} // namespace nimbo
