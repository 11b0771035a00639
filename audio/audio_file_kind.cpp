// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audio_file_kind.h"

#include <cstdio>
#include <cstring>

namespace nimbo {
namespace {

bool startsWith(const unsigned char* head, std::size_t size, std::size_t at, const char* magic) {
    const std::size_t n = std::strlen(magic);
    return size >= at + n && std::memcmp(head + at, magic, n) == 0;
}

// Whether `head` (the file's first `size` bytes) starts as an audio container does.
bool audioHead(const unsigned char* head, std::size_t size) {
    const auto is = [&](std::size_t at, const char* magic) {
        return startsWith(head, size, at, magic);
    };
    if (is(0, "RIFF") || is(0, "RIFX") || is(0, "RF64")) return is(8, "WAVE");
    if (is(0, "FORM")) return is(8, "AIFF") || is(8, "AIFC");
    return is(0, "fLaC") || is(0, "OggS") || is(0, ".snd") || is(0, "caff");
}

// Bytes looked at: enough for the RIFF and FORM form types at 8..11.
constexpr std::size_t kHeadBytes = 12;

} // namespace

bool looksLikeAudio(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char head[kHeadBytes];
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return audioHead(head, got);
}

} // namespace nimbo
