// SPDX-License-Identifier: GPL-3.0-or-later
// The one writer of every log and calibration file, and safe file names for serials.
#pragma once

#include <string>
#include <string_view>

namespace nimbo {

// Appends text and a line end to the file at path; every '\n' in text, and the final
// line end, are written as CR LF. A missing folder just above the file is created (one
// level only). The line lands whole or not at all: after a failed or short write the
// file is cut back to its length before (a file this call created is removed), so the
// next line starts on a line of its own. When the file is empty or missing, `header`
// (if any) goes first, in the same write. False when the file cannot be opened or
// written; `error` then says why, as "cannot write <path>: <reason>".
bool appendLine(const std::string& path, std::string_view text, std::string* error = nullptr,
                std::string_view header = {});

// Writes text (line ends as appendLine) as the whole new content of the file at path:
// first to a temporary name in the same folder, then renamed over it, so a reader or a
// later run never finds a part of it. On failure nothing is left behind and an old file
// is as it was.
bool writeWholeFile(const std::string& path, std::string_view text, std::string* error = nullptr);

// Puts text (line ends as appendLine) in front of the closing `tail` that ends the file at
// path, so that a document such as a GPX track stays whole after every call: the new text
// and the tail go in one write over the old tail; a failed or short write puts the old tail
// back and cuts the file to its old length. A missing file is made whole at once from
// `head`, text and tail (as writeWholeFile). A file that does not end with the tail is left
// alone: false, with the reason.
bool insertBeforeTail(const std::string& path, std::string_view head, std::string_view text,
                      std::string_view tail, std::string* error = nullptr);

// A serial number as a file name that no other serial shares: letters, digits, '-' and
// '_' stay; every other byte becomes '%' and two upper-case hexadecimal digits ("/" is
// "%2F", "%" itself "%25"), so "/" or ".." never leave the folder. The name ends at a
// NUL. The empty serial gives "%" alone, which no encoding of a real serial can be.
std::string safeFileName(const char* serial);

// <folder>/<sub>/<safe serial><extension>
std::string sondeFilePath(const std::string& folder, const char* sub, const char* serial,
                          const char* extension);

bool fileExists(const std::string& path);

} // namespace nimbo
