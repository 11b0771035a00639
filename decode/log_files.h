// The one writer of every log and calibration file, and safe file names for serials.
#pragma once

#include <string>
#include <string_view>

namespace nimbo {

// Appends text and a line end to the file at path; every '\n' in text, and the final
// line end, are written as CR LF. A missing folder just above the file is created (one
// level only). False when the file cannot be opened or written.
bool appendLine(const std::string& path, std::string_view text);

// A serial number as a file name: letters, digits, '-' and '_' stay, anything else
// becomes '_' (so "/" or ".." never leave the folder); the name ends at a NUL, and an
// empty serial gives "_".
std::string safeFileName(const char* serial);

// <folder>/<sub>/<safe serial><extension>
std::string sondeFilePath(const std::string& folder, const char* sub, const char* serial,
                          const char* extension);

bool fileExists(const std::string& path);

} // namespace nimbo
