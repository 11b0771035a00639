// SPDX-License-Identifier: GPL-3.0-or-later
// libsndfile quietly shortens a RIFF (WAV) or FORM (AIFF) file whose header, or whose data
// chunk, announces more bytes than the file holds; this finds such files.
#pragma once

#include <string>

namespace nimbo {

// "" when the file is whole (or not RIFF/FORM), else a line starting "file is truncated".
// Opens the path itself: only for regular files, never for a pipe that can be read once.
std::string containerShortfall(const std::string& path);

} // namespace nimbo
