// SPDX-License-Identifier: GPL-3.0-or-later
// Audio-file input: any bytes as a file opened through openAudioFile (libsndfile beneath)
// and read to its end, or refused with one line of reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/audio_input.h"
#include "fuzz/check.h"
#include "fuzz/scratch_folder.h"

namespace {

// Reading stops here: a small compressed file may unpack to hours of audio.
constexpr int kMaxBlocks = 3000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = nimbo::fuzz::scratch().path() + "/input";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    NIMBO_FUZZ_CHECK(f && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0);

    std::string error;
    auto source = nimbo::openAudioFile(path, error);
    if (!source) {
        NIMBO_FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    static int16_t block[2 * nimbo::kBlockSamples];
    for (int n = 0; n < kMaxBlocks && source->next(block); ++n) {
        const double p = source->progress();
        NIMBO_FUZZ_CHECK(p == -1.0 || (p >= 0.0 && p <= 1.0));
    }
    (void)source->error();
    return 0;
}
