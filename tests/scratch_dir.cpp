// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace nimbo::test {
namespace {

namespace fs = std::filesystem;

struct Made {
    std::vector<fs::path> dirs;
    ~Made() {
        for (const fs::path& dir : dirs) {
            std::error_code ec;
            fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(dir, ec);
        }
    }
};

} // namespace

std::string scratchDir(const std::string& name) {
    static Made made;
    std::string path = (fs::temp_directory_path() / ("nimbo-" + name + "-XXXXXX")).string();
    if (!::mkdtemp(path.data())) throw std::runtime_error("cannot make a scratch folder " + path);
    made.dirs.emplace_back(path);
    return path;
}

} // namespace nimbo::test
