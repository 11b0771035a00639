// SPDX-License-Identifier: GPL-3.0-or-later
// The Reed-Solomon code that protects every sonde frame: encoder, errors-and-erasures
// decoder, and the mapping between the frame as sent and the codeword.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "dsp/frame_sync.h"
#include "dsp/sent_frame.h"

// How the frames the decoder collects relate to the frames the sonde sends:
//
// The sonde sends 240-byte frames: 6 sync bytes 2A 2A 2A 2A 2A 10, 210 data bytes and 24
// bytes of parity. The decoder's 220-byte frame starts after a 20-byte header that is in
// fact the constant tail of the sent frame (sent bytes 196..215, headerPatternBytes), so
//   content bytes 0..23 of frame n   = parity, sent bytes 216..239, of the frame that ended
//                                      just before frame n's content began;
//   content bytes 24..219 of frame n = sent bytes 0..195 of the next sent frame (sync, data).
// Correcting the data of frame n therefore needs content bytes 0..23 of frame n + 1.
//
// The code: GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1, alpha = 2, generator roots alpha^0 ..
// alpha^23. The codeword c(x) = c0 + c1 x + ... + c233 x^233 (a (255, 231) code shortened to
// (234, 210)) holds c0..c23 = sent bytes 216..239 (parity), c24..c233 = sent bytes 6..215.
// The sync bytes are not covered. Up to 12 byte errors are corrected, or any mix of e errors
// and f erasures with 2e + f <= 24.
namespace nimbo::rs {

inline constexpr int kParityBytes = sent::kParityBytes;
inline constexpr int kDataBytes = sent::kDataBytes;
inline constexpr int kCodeLength = kParityBytes + kDataBytes; // 234
inline constexpr int kMaxErrors = kParityBytes / 2;
// The full code; a shortened codeword of n bytes (24 < n <= 255) is one whose top 255 - n
// bytes are zero and not sent.
inline constexpr int kMaxCodeLength = 255;

// The sent frame's places under the names the codeword mapping uses.
inline constexpr int kSentFrameBytes = sent::kFrameBytes;
inline constexpr int kSyncBytes = sent::kSyncBytes;
inline constexpr const auto& kSync = sent::kSync;
inline constexpr int kSentParity = sent::kParityStart;   // 216
inline constexpr int kSentHeaderTail = sent::kTailStart; // 196
static_assert(kSyncBytes + kCodeLength == kSentFrameBytes, "all but the sync is covered");
// The content bytes of a collected frame that hold the start of the next sent frame.
inline constexpr int kContentSentStart = kParityBytes;                    // 24
inline constexpr int kContentSentBytes = kFrameBytes - kContentSentStart; // 196
static_assert(kContentSentBytes == kSentHeaderTail,
              "a collected frame is the parity before it and the sent bytes up to the tail");

inline constexpr int kFailed = -1;

using Codeword = std::span<uint8_t, kCodeLength>;
using ConstCodeword = std::span<const uint8_t, kCodeLength>;
using Content = std::span<uint8_t, kFrameBytes>; // a collected frame's 220 bytes
using ConstContent = std::span<const uint8_t, kFrameBytes>;

// The 24 parity bytes (c0..c23) of 210 data bytes (c24..c233).
void encode(std::span<const uint8_t, kDataBytes> data, std::span<uint8_t, kParityBytes> parity);
// The same for 1..231 data bytes; false (parity untouched) for any other count.
bool encodeShortened(std::span<const uint8_t> data, std::span<uint8_t, kParityBytes> parity);

// True when all 24 syndromes of the codeword are zero.
bool isCodeword(ConstCodeword codeword);
// The syndromes S_j = c(alpha^j), j = 0..23; true when all are zero.
bool syndromes(ConstCodeword codeword, std::span<uint8_t, kParityBytes> s);
// The same for a codeword of 25..255 bytes; false for any other length.
bool isShortenedCodeword(std::span<const uint8_t> codeword);

// Corrects the codeword in place. `erasures` lists codeword positions (0..233) known to be
// unreliable; repeats count once. Returns the number of bytes changed, or kFailed (codeword
// untouched) when the damage is beyond what the code can correct or a position is out of
// range. Only 24 - f syndromes check a result with f erasures, so many erasures make a wrong
// "success" likely: keep f well below 24 and check the CRCs too.
int decode(Codeword codeword, std::span<const int> erasures = {});
// decode() for a codeword of 25..255 bytes (positions 0..size-1); kFailed for other lengths.
int decodeShortened(std::span<uint8_t> codeword, std::span<const int> erasures = {});

// Sent frame (240 bytes) <-> codeword (234 bytes). The sync bytes are written as kSync.
void codewordFromSent(sent::SentBytes frame, Codeword codeword);
void sentFromCodeword(ConstCodeword codeword, std::span<uint8_t, kSentFrameBytes> frame);
// Codeword position of sent byte i; -1 for the sync bytes (not covered).
int codewordPosition(int sentByte);

// The sent frame from two consecutive collected frames: sync and data from content bytes
// 24..219 of `frame`, the constant tail, and the parity from content bytes 0..23 of `next`.
void sentFromContent(ConstContent frame, ConstContent next,
                     std::span<uint8_t, kSentFrameBytes> sentFrame);
// The reverse: writes sent bytes 0..195 to content bytes 24..219 of `frame` and the parity to
// content bytes 0..23 of `next` (the tail is constant and has no place in the content).
void contentFromSent(sent::SentBytes sentFrame, Content frame, Content next);

} // namespace nimbo::rs
