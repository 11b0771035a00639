// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/container_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace nimbo {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

uint64_t readSize(const unsigned char* p, bool bigEndian) {
    return bigEndian ? (uint64_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]
                     : p[0] | (p[1] << 8) | (p[2] << 16) | (uint64_t(p[3]) << 24);
}

// Sizes that streaming writers put in before the length is known: not a promise.
bool placeholder(uint64_t size) {
    return size == 0 || size == 0xFFFFFFFFull;
}

std::string shortfall(const char* what, uint64_t declared, uint64_t actual) {
    return std::string("file is truncated: its ") + what + " announces " +
           std::to_string(declared) + " bytes, the file holds " + std::to_string(actual);
}

} // namespace

std::string containerShortfall(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) return {};
    unsigned char head[12] = {};
    const bool readHead = std::fread(head, 1, sizeof head, f.get()) == sizeof head;
    std::fseek(f.get(), 0, SEEK_END);
    const long end = std::ftell(f.get());
    if (!readHead || end < 0) return {};
    const auto actual = static_cast<uint64_t>(end);

    const bool riff = std::memcmp(head, "RIFF", 4) == 0;
    const bool form = std::memcmp(head, "FORM", 4) == 0;
    if (!riff && !form) return {};
    // The chunk size excludes its own id and size fields.
    const uint64_t declared = readSize(head + 4, form);
    if (declared != 0xFFFFFFFFull && declared + 8 > actual)
        return shortfall("header", declared + 8, actual);

    // The sample data chunk: "data" in RIFF, "SSND" in FORM; chunks are padded to even sizes.
    const char* dataId = riff ? "data" : "SSND";
    uint64_t at = 12;
    for (int chunks = 0; chunks < 1000 && at + 8 <= actual; ++chunks) {
        unsigned char chunk[8];
        if (std::fseek(f.get(), static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(chunk, 1, 8, f.get()) != 8)
            return {};
        const uint64_t size = readSize(chunk + 4, form);
        if (std::memcmp(chunk, dataId, 4) == 0) {
            if (!placeholder(size) && at + 8 + size > actual)
                return shortfall("data chunk", at + 8 + size, actual);
            return {};
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace nimbo
