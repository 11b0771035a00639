// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 frame decoding from the bytes a receiver heard and how sure it was of each: errors
// alone first, then more and more of the least reliable bytes of each codeword as erasures,
// until the correction and every block CRC hold.
#pragma once

#include <array>
#include <span>

#include "rs41/rs41_frame.h"

namespace nimbo::rs41 {

// Erasures per codeword tried in turn. At 20, 4 syndromes still check a correction; the block
// CRCs (at least five, over every data byte) check the rest.
inline constexpr std::array<int, 5> kErasureSteps = {4, 8, 12, 16, 20};

// `bytes` as for decodeFrame; `reliability[i]` for byte i, larger is surer (any scale; NaN
// counts as least sure; bytes past its end count as sure). Returns frame.good; when no attempt
// is good the frame holds the errors-alone attempt.
bool decodeFrameSoft(std::span<const uint8_t> bytes, std::span<const float> reliability,
                     Rs41Frame& frame);

} // namespace nimbo::rs41
