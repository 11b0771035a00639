// SPDX-License-Identifier: GPL-3.0-or-later
// Reads blocks ahead on a thread of its own, so that reading, converting and resampling a
// file run beside the decoder instead of before it.
#pragma once

#include <memory>

#include "audio/audio_input.h"

namespace nimbo {

// Wraps `source`, which from then on is read only on the new thread; the blocks, progress
// and error come out as `source` gave them. Up to 16 blocks (1.6 s) are kept ready,
// refilled when 4 are left.
std::unique_ptr<BlockSource> readAhead(std::unique_ptr<BlockSource> source);

} // namespace nimbo
