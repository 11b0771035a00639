// SPDX-License-Identifier: GPL-3.0-or-later
// The raw-log import's line reader: any bytes as a log file replayed through a core. Exactly
// the lines of 659 characters ending in LF or CR LF that are hexadecimal byte pairs between
// commas are frames; and a line of hexadecimal digits becomes the bytes those digits spell.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/log_import.h"
#include "core/nimbo_core.h"
#include "decode/frame_layout.h"
#include "fuzz/check.h"
#include "fuzz/scratch_folder.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Byte pairs of hexadecimal digits, a comma between two pairs.
bool pairsAndCommas(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i)
        if (i % 3 == 2 ? line[i] != ',' : hexValue(line[i]) < 0) return false;
    return true;
}

// Frame lines counted the plain way: split at LF, drop one CR, measure, look at each character.
int frameLines(std::string_view text) {
    int frames = 0;
    for (size_t lf; (lf = text.find('\n')) != std::string_view::npos; text.remove_prefix(lf + 1)) {
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() == static_cast<size_t>(nimbo::kLogLineChars) && pairsAndCommas(line))
            ++frames;
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nimbo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // One line on its own: where every digit is hexadecimal, the cells spell those bytes.
    if (size >= static_cast<size_t>(kLogLineChars)) {
        static uint8_t cells[kFrameBits];
        logLineToCells(text.data(), cells);
        uint8_t bytes[kFrameBytes];
        packFrameBytes(cells, bytes);
        for (int i = 0; i < kFrameBytes; ++i) {
            const int hi = hexValue(text[3 * i]), lo = hexValue(text[3 * i + 1]);
            if (hi >= 0 && lo >= 0) NIMBO_FUZZ_CHECK(bytes[i] == (hi << 4 | lo));
        }
    }

    const std::string path = fuzz::scratch().path() + "/raw.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    NIMBO_FUZZ_CHECK(f && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0);
    auto core = std::make_unique<NimboCore>();
    core->setDrawPictures(false);
    LogImport import(*core);
    NIMBO_FUZZ_CHECK(import.open(path));
    for (LogImport::Step step; (step = import.step()) != LogImport::Step::End;) {
    }
    NIMBO_FUZZ_CHECK(import.framesReplayed() == frameLines(text));
    return 0;
}
