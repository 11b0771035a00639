// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of the fuzzing process's own under $TMPDIR (or /tmp) for the files a target
// writes; emptied between inputs on request and removed when the process exits normally.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace nimbo::fuzz {

class ScratchFolder {
  public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/nimbo-fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

    // Everything inside goes; the folder stays.
    void clear() const {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

  private:
    std::string path_;
};

// The one folder of this process, made on first use.
inline const ScratchFolder& scratch() {
    static const ScratchFolder folder;
    return folder;
}

} // namespace nimbo::fuzz
