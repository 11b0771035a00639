// SPDX-License-Identifier: GPL-3.0-or-later
// Frames recovered end to end by the receiver from clean FM Det and IF signals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/frame_sync.h"
#include "dsp/front_end.h"
#include "tests/manchester_symbols.h"

namespace nimbo {
namespace {
using namespace test;

// End to end: Manchester symbols at 10 samples each (4800 symbols per second).
enum class Path { FmDet, FmDetInverted, If };

std::vector<int16_t> modulate(const Symbols& symbols, Path path) {
    constexpr int kSamplesPerSymbol = 10;
    std::vector<int16_t> left;
    left.reserve(symbols.size() * kSamplesPerSymbol);
    double phase = 0.2;
    for (int sym : symbols) {
        for (int i = 0; i < kSamplesPerSymbol; ++i) {
            double v = 0.0;
            switch (path) {
            case Path::FmDet:
                v = sym ? 8000.0 : -8000.0;
                break;
            case Path::FmDetInverted:
                v = sym ? -8000.0 : 8000.0;
                break;
            case Path::If:
                v = 12000.0 * std::cos(phase);
                phase += 2.0 * std::numbers::pi * (sym ? 14400.0 : 9600.0) / 48000.0;
                break;
            }
            left.push_back(static_cast<int16_t>(std::lround(v)));
        }
    }
    return left;
}

TEST(FrameSync, ReceiverRecoversFramesFromCleanSignals) {
    constexpr int kFrames = 5;
    std::vector<Bytes> contents;
    Bytes all;
    for (int f = 0; f < kFrames; ++f) {
        Bytes c = pseudoRandomBytes(kFrameBytes, 500 + f);
        c[0] = static_cast<uint8_t>(f);
        contents.push_back(c);
        all = concat({all, kHeader, c});
    }
    all.insert(all.end(), 240, 0xFF); // one more second of traffic without a header
    const Symbols symbols = symbolsOf(all);
    // A sonde's idle line: 40 stop bits (17 ms) before its first header.
    Symbols idleThenFrames;
    for (int k = 0; k < 40; ++k)
        appendBit(idleThenFrames, 1);
    idleThenFrames.insert(idleThenFrames.end(), symbols.begin(), symbols.end());

    // Before the first header: nothing, or half a second of digital silence or of noise and
    // then the idle line. (Straight from silence into a header, the IF path's filters are
    // still ringing from the step while the clock has to lock: the first frame may go.)
    struct Lead {
        const char* name;
        std::vector<int16_t> samples;
    };
    std::vector<int16_t> noise(kBlockSamples * 5);
    unsigned seed = 77;
    for (auto& v : noise) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<int16_t>(static_cast<int>(seed >> 16 & 0x3FFF) - 0x2000);
    }
    const Lead leads[] = {
        {"no lead", {}}, {"silence", std::vector<int16_t>(noise.size(), 0)}, {"noise", noise}};

    struct Case {
        Path path;
        ReceiverSettings settings;
    };
    for (const Case c : {Case{Path::FmDet, {0, 0, false}}, Case{Path::FmDetInverted, {0, 0, true}},
                         Case{Path::If, {1, 0, false}}}) {
        for (const Lead& lead : leads) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.path)) + ", " + lead.name);
            std::vector<int16_t> left = lead.samples;
            const std::vector<int16_t> signal =
                modulate(lead.samples.empty() ? symbols : idleThenFrames, c.path);
            left.insert(left.end(), signal.begin(), signal.end());
            Recorder recorder;
            Receiver rx(&recorder);
            recorder.sync = &rx.sync();
            std::vector<int16_t> pcm(2 * kBlockSamples);
            for (size_t start = 0; start + kBlockSamples <= left.size(); start += kBlockSamples) {
                for (int i = 0; i < kBlockSamples; ++i)
                    pcm[2 * i] = left[start + i];
                rx.processBlock(pcm.data(), c.settings);
            }
            // Every frame from the first: the clock needs no more than the header to lock.
            ASSERT_EQ(recorder.frames.size(), static_cast<size_t>(kFrames));
            for (int f = 0; f < kFrames; ++f)
                EXPECT_EQ(recorder.frames[f], contents[f]) << "frame " << f;
        }
    }
}

} // namespace
} // namespace nimbo
