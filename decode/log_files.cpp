#include "decode/log_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace nimbo {

bool appendLine(const std::string& path, std::string_view text) {
    const std::string::size_type slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = path.substr(0, slash);
        ::mkdir(folder.c_str(), 0777); // fails harmlessly when it exists or its parent does not
    }
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    bool ok = true;
    std::size_t start = 0;
    while (ok) {
        const std::size_t newline = text.find('\n', start);
        const std::string_view line = text.substr(start, newline - start);
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size() &&
             std::fwrite("\r\n", 1, 2, f) == 2;
        if (newline == std::string_view::npos) break;
        start = newline + 1;
    }
    return std::fclose(f) == 0 && ok;
}

std::string safeFileName(const char* serial) {
    std::string name;
    for (const char* p = serial; *p; ++p) {
        const char c = *p;
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        name.push_back(safe ? c : '_');
    }
    return name.empty() ? "_" : name;
}

std::string sondeFilePath(const std::string& folder, const char* sub, const char* serial,
                          const char* extension) {
    return folder + "/" + sub + "/" + safeFileName(serial) + extension;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace nimbo
