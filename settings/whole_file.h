// SPDX-License-Identifier: GPL-3.0-or-later
// Files written whole: every byte of a buffer to a descriptor, and a file's new content put in
// place by one rename, so that no reader or later run ever finds it half written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbo {

// Writes all `size` bytes to `fd`, again after a signal (EINTR). A write that takes nothing
// (returns 0) fails as one that returns -1 does, with errno EIO, so that a device that
// accepts nothing more ends the loop. False with errno set.
bool writeFully(int fd, const char* data, std::size_t size);

// Replaces the file at `path` with `bytes`: a new temporary file in the same folder is
// written fully, flushed to the disk and renamed over the old one, so the file is always
// either the old or the new one. An existing file keeps its permission bits; a symbolic
// link at `path` is replaced, not followed. Returns 0, or the errno of the step that failed;
// then the temporary file is removed and an old file is left as it was.
int replaceFile(const std::string& path, std::string_view bytes);

} // namespace nimbo
