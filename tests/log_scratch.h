// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch folders for the log file tests, and reading back what was written.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/scratch_dir.h"

namespace nimbo::test {

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::filesystem::path freshFolder(const std::string& name) {
    return scratchDir("logs-" + name);
}

} // namespace nimbo::test
