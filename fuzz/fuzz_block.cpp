// The per-block entry ProcessWaveBuffer under every signal setting. The first four bytes
// choose DemodType, InputCh, SymbolInv and Weak (out-of-range values included) and whether
// the pictures are drawn; the rest is the left channel's 16-bit samples, up to twelve
// blocks, the right channel getting the same samples byte-swapped. A fresh core per input
// keeps every finding reproducible.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/nimbo_core.h"

namespace {

constexpr size_t kSettingsBytes = 4;
constexpr size_t kMaxBlocks = 12;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nimbo;
    if (size < kSettingsBytes) return 0;
    ReceiverSettings settings;
    // 0 and 1 are the values the window writes; anything else must be taken as documented.
    const int choices[] = {0, 1, 2, -1};
    settings.DemodType = choices[data[0] & 3];
    settings.InputCh = choices[data[1] & 3];
    settings.SymbolInv = data[2] & 1;
    settings.Weak = data[3] & 1;
    const bool drawPictures = data[3] & 2;
    data += kSettingsBytes;
    size -= kSettingsBytes;

    auto core = std::make_unique<NimboCore>();
    core->applySettings(settings);
    core->setDrawPictures(drawPictures);
    static int16_t block[2 * kBlockSamples];
    const size_t blockBytes = kBlockSamples * sizeof(int16_t);
    for (size_t at = 0, n = 0; at < size && n < kMaxBlocks; at += blockBytes, ++n) {
        const size_t take = std::min(blockBytes, size - at);
        std::memset(block, 0, sizeof block);
        for (size_t i = 0; i < take / 2; ++i) {
            const uint8_t* s = data + at + 2 * i;
            block[2 * i] = static_cast<int16_t>(s[0] | s[1] << 8);
            block[2 * i + 1] = static_cast<int16_t>(s[1] | s[0] << 8);
        }
        core->ProcessWaveBuffer(block);
    }
    return 0;
}
