// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a file is an audio recording, told from its first bytes (not its name), so that a
// dropped file goes to the replay or to the raw frame log import.
#pragma once

#include <string>

namespace nimbo {

// Whether the file at `path` starts as an audio container does: WAV, RF64, AIFF, FLAC, Ogg,
// AU or CAF. A raw frame log is hexadecimal text and never does; the name is not looked at.
// False when the file cannot be read.
bool looksLikeAudio(const std::string& path);

} // namespace nimbo
