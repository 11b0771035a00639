// SPDX-License-Identifier: GPL-3.0-or-later
// Interleaving of the RS41 frame into its two codewords, and their correction on fixed arrays.
#include "rs41/codewords.h"

#include <algorithm>

namespace nimbo::rs41 {

void gatherCodeword(std::span<const uint8_t> frame, int k, Word& word) {
    const int frameBytes = static_cast<int>(frame.size());
    const int n = codewordLength(frameBytes);
    for (int p = 0; p < n; ++p)
        word[p] = frame[frameByteOf(k, p, frameBytes)];
}

void scatterCodeword(const Word& word, int k, std::span<uint8_t> frame) {
    const int frameBytes = static_cast<int>(frame.size());
    const int n = codewordLength(frameBytes);
    for (int p = 0; p < n; ++p)
        frame[frameByteOf(k, p, frameBytes)] = word[p];
}

bool encodeFrame(std::span<uint8_t> frame) {
    const int frameBytes = static_cast<int>(frame.size());
    if (!validFrameBytes(frameBytes)) return false;
    const int n = codewordLength(frameBytes);
    for (int k = 0; k < kCodewords; ++k) {
        Word word{};
        gatherCodeword(frame, k, word);
        const std::span<uint8_t> w(word);
        rs::encodeShortened(w.subspan(rs::kParityBytes, n - rs::kParityBytes),
                            w.first<rs::kParityBytes>());
        scatterCodeword(word, k, frame);
    }
    return true;
}

bool framePassesCheck(std::span<const uint8_t> frame) {
    const int frameBytes = static_cast<int>(frame.size());
    if (!validFrameBytes(frameBytes)) return false;
    for (int k = 0; k < kCodewords; ++k) {
        Word word;
        gatherCodeword(frame, k, word);
        if (!rs::isShortenedCodeword(std::span(word).first(codewordLength(frameBytes))))
            return false;
    }
    return true;
}

Correction correctFrame(std::span<uint8_t> frame, std::span<const int> unreliable,
                        bool retryErrorsAlone) {
    Correction result;
    const int frameBytes = static_cast<int>(frame.size());
    if (!validFrameBytes(frameBytes)) return result;
    const int n = codewordLength(frameBytes);

    // Erasures per codeword; beyond 24 a codeword cannot be decoded with them anyway.
    constexpr int kMaxErasures = rs::kParityBytes + 1;
    std::array<std::array<int, kMaxErasures>, kCodewords> erasures;
    std::array<int, kCodewords> f{};
    for (const int b : unreliable) {
        const CodewordPlace place = codewordPlace(b, frameBytes);
        if (place.codeword < 0) continue;
        auto& list = erasures[place.codeword];
        int& count = f[place.codeword];
        // Repeats once only, so that they cannot crowd out other positions.
        if (count < kMaxErasures &&
            std::find(list.begin(), list.begin() + count, place.position) == list.begin() + count)
            list[count++] = place.position;
    }

    std::array<Word, kCodewords> words;
    int total = 0;
    for (int k = 0; k < kCodewords; ++k) {
        gatherCodeword(frame, k, words[k]);
        const std::span<uint8_t> word = std::span(words[k]).first(n);
        int changed = rs::decodeShortened(word, std::span(erasures[k]).first(f[k]));
        if (changed == rs::kFailed && f[k] > 0 && retryErrorsAlone)
            changed = rs::decodeShortened(word);
        result.perCodeword[k] = changed;
        total = changed == rs::kFailed || total == rs::kFailed ? rs::kFailed : total + changed;
    }
    if (total == rs::kFailed) return result;
    for (int k = 0; k < kCodewords; ++k)
        scatterCodeword(words[k], k, frame);
    result.corrected = total;
    return result;
}

} // namespace nimbo::rs41
