// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window_texts.h"

#include <cstdio>
#include <filesystem>

namespace nimbo {

LabelText replayProgressText(int percent) {
    LabelText text{};
    setLabel(text, "Replay %d %%", percent);
    return text;
}

std::string logFailureTip(const std::string& failure, const std::string& folder) {
    return "Logging failed: " + failure + "\nLog folder: " + folder;
}

std::string nothingReadLine(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    // A folder dropped from a file manager may come with a trailing separator.
    if (!p.has_filename()) p = p.parent_path();
    std::error_code ec;
    const fs::file_status status = fs::status(p, ec);
    const char* reason = "no frame lines and not an audio recording";
    if (!fs::exists(status))
        reason = "there is no such file";
    else if (fs::is_directory(status))
        reason = "it is a folder";
    else if (!fs::is_regular_file(status))
        reason = "it is not a regular file";
    else if (const auto size = fs::file_size(p, ec); !ec && size == 0)
        reason = "the file is empty";
    else if (std::FILE* f = std::fopen(p.c_str(), "rb"))
        std::fclose(f);
    else
        reason = "it cannot be opened";
    return "Nothing read from " + p.filename().string() + ": " + reason;
}

} // namespace nimbo
