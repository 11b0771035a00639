// SPDX-License-Identifier: GPL-3.0-or-later
// The per-block entry ProcessWaveBuffer under every signal setting. The first four bytes
// choose DemodType, InputCh, SymbolInv and Weak (out-of-range values included), whether the
// pictures are drawn (byte 3, bit 1) and whether the receiver starts primed (bit 2); the
// rest is the left channel's 16-bit samples, up to twelve blocks, the right channel getting
// the same samples byte-swapped. Primed, the receiver (weak or not, as Weak says) has already
// followed a clean synthetic signal (FM Det, or IF when DemodType is odd) to a block before
// it hands over a frame, and the input's samples are added, wrapping, to that signal's
// continuation: an input of zeros hears clean frames, any other damages a signal the
// receiver follows. A fresh core per input keeps every finding reproducible.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/nimbo_core.h"
#include "fuzz/check.h"
#include "tools/synth/synth.h"

namespace {

using namespace nimbo;

constexpr size_t kSettingsBytes = 4;
constexpr size_t kMaxBlocks = 12;
constexpr size_t kBlockBytes = kBlockSamples * sizeof(int16_t); // left channel only

// A receiver that has heard the start of a clean signal, and what follows it.
struct Primed {
    std::unique_ptr<Receiver> receiver; // or
    std::unique_ptr<WeakReceiver> weak;
    std::vector<int16_t> continuation; // kMaxBlocks blocks, interleaved stereo
};
Primed primed[2][2]; // [weak][DemodType]: FM Det, IF

struct FrameCount final : CoreHooks {
    int frames = 0;
    void frameDecoded() override { ++frames; }
};

// Runs a clean signal through a core until the block in which its receiver hands over its
// second frame (the weak one's first with a frame before it), and keeps the state before it.
Primed prime(bool weak, int demodType) {
    synth::SynthOptions options;
    options.frames = 4; // the second hand-over comes at about 2 s; kMaxBlocks more follow
    options.ifSignal = demodType == 1;
    std::vector<int16_t> pcm = synth::synthesize(options);
    FrameCount count;
    auto core = std::make_unique<NimboCore>(&count);
    ReceiverSettings settings;
    settings.DemodType = demodType;
    settings.Weak = weak;
    core->applySettings(settings);
    core->setDrawPictures(false);
    Primed p;
    if (weak)
        p.weak = std::make_unique<WeakReceiver>();
    else
        p.receiver = std::make_unique<Receiver>();
    for (size_t at = 0; at + kBlockWords <= pcm.size(); at += kBlockWords) {
        if (weak)
            *p.weak = core->weakReceiver();
        else
            *p.receiver = core->receiver();
        core->ProcessWaveBuffer(pcm.data() + at);
        if (count.frames < 2) continue;
        pcm.resize(std::max(pcm.size(), at + kMaxBlocks * kBlockWords), 0);
        p.continuation.assign(pcm.begin() + static_cast<std::ptrdiff_t>(at),
                              pcm.begin() +
                                  static_cast<std::ptrdiff_t>(at + kMaxBlocks * kBlockWords));
        return p;
    }
    NIMBO_FUZZ_CHECK(!"the clean signal primes the receiver");
    return p;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const bool weak : {false, true})
        for (const int demodType : {0, 1})
            primed[weak][demodType] = prime(weak, demodType);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSettingsBytes) return 0;
    ReceiverSettings settings;
    // 0 and 1 are the values the window writes; anything else must be taken as documented.
    const int choices[] = {0, 1, 2, -1};
    settings.DemodType = choices[data[0] & 3];
    settings.InputCh = choices[data[1] & 3];
    settings.SymbolInv = data[2] & 1;
    settings.Weak = data[3] & 1;
    const bool drawPictures = data[3] & 2;
    const Primed* from = nullptr;
    if (data[3] & 4) {
        settings.DemodType = data[0] & 1;
        settings.InputCh = 0; // the channel it was primed on
        from = &primed[settings.Weak][settings.DemodType];
    }
    data += kSettingsBytes;
    size -= kSettingsBytes;

    // A fresh core each time in the same memory: a new allocation of this size would be
    // mapped and cleared page by page, which cost more than a short input's blocks.
    alignas(NimboCore) static unsigned char storage[sizeof(NimboCore)];
    struct Destroy {
        void operator()(NimboCore* c) const { c->~NimboCore(); }
    };
    const std::unique_ptr<NimboCore, Destroy> core(new (storage) NimboCore());
    core->applySettings(settings);
    core->setDrawPictures(drawPictures);
    if (from && from->weak) core->continueFrom(*from->weak);
    if (from && from->receiver) core->continueFrom(*from->receiver);
    // Primed, even an input without samples hears the block with the hand-over.
    const size_t blocks = std::min(
        kMaxBlocks, std::max<size_t>(from ? 1 : 0, (size + kBlockBytes - 1) / kBlockBytes));
    static int16_t block[kBlockWords];
    for (size_t n = 0; n < blocks; ++n) {
        if (from)
            std::copy_n(from->continuation.begin() + static_cast<std::ptrdiff_t>(n * kBlockWords),
                        kBlockWords, block);
        else
            std::memset(block, 0, sizeof block);
        const size_t at = n * kBlockBytes;
        const size_t take = at < size ? std::min(kBlockBytes, size - at) : 0;
        for (size_t i = 0; i < take / 2; ++i) {
            const uint8_t* s = data + at + 2 * i;
            block[2 * i] = static_cast<int16_t>(block[2 * i] + (s[0] | s[1] << 8));
            block[2 * i + 1] = static_cast<int16_t>(block[2 * i + 1] + (s[1] | s[0] << 8));
        }
        core->ProcessWaveBuffer(block);
    }
    return 0;
}
