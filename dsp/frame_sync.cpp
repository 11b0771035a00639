// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/frame_sync.h"

#include <bit>

namespace nimbo {
namespace {

constexpr uint8_t kStartPattern[4] = {0, 1, 1, 0};         // stop bit 0,1 then start bit 1,0
constexpr int kTopWordBits = FrameSync::kHeaderBits - 128; // bits held by history_[2]

constexpr std::array<uint64_t, 3> packHeader(const std::array<uint8_t, 20>& bytes) {
    std::array<uint64_t, 3> w{};
    for (int j = 0; j < FrameSync::kHeaderBits; ++j) {
        const uint64_t bit = (bytes[j / 8] >> (j % 8)) & 1u;
        w[j / 64] |= bit << (j % 64);
    }
    return w;
}

bool startsWithStartPattern(const uint8_t* s) {
    return s[0] == kStartPattern[0] && s[1] == kStartPattern[1] && s[2] == kStartPattern[2] &&
           s[3] == kStartPattern[3];
}

// Shifts one bit in at place 159 of 160 packed places; place 0 drops out.
void shiftIn(uint64_t (&words)[3], uint64_t bit) {
    words[0] = (words[0] >> 1) | (words[1] << 63);
    words[1] = (words[1] >> 1) | (words[2] << 63);
    words[2] = (words[2] >> 1) | ((bit & 1u) << (kTopWordBits - 1));
}

} // namespace

constexpr std::array<uint64_t, 3> kHeaderWords = packHeader(headerPatternBytes);
const uint64_t headerPatternWords[3] = {kHeaderWords[0], kHeaderWords[1], kHeaderWords[2]};

void FrameSync::ProcessSymbol(double y) {
    symbolGroup_[symbolCount_++] = y >= 0.0 ? 1 : 0;
    if (symbolCount_ < kSlotSymbols) return;
    symbolCount_ = 0;

    if (alignByte()) heardByte_ = true;
    prevSymbolGroup_ = symbolGroup_;

    if (inFrame_) {
        for (int k = 0; k < 8; ++k)
            frameBits_[frameBitCount_ + k] = byteBits_[k];
        frameBitCount_ += 8;
        if (frameBitCount_ >= kFrameBits) {
            inFrame_ = false;
            if (listener_) listener_->frameComplete();
        }
        return;
    }
    searchHeader();
}

void FrameSync::loadFrameBits(const uint8_t* cells) {
    for (int i = 0; i < kFrameBits; ++i)
        frameBits_[i] = cells[i] & 1u;
}

void FrameSync::reset() {
    *this = FrameSync(listener_);
}

bool FrameSync::alignByte() {
    // The previous slot, then the current one. Offsets 21..36 reach past the 40
    // symbols; those positions read as 0, so the symbols come from the two slots only.
    uint8_t twoSlots[2 * kSlotSymbols + kSearchPositions] = {};
    for (int j = 0; j < kSlotSymbols; ++j) {
        twoSlots[j] = prevSymbolGroup_[j];
        twoSlots[kSlotSymbols + j] = symbolGroup_[j];
    }

    if (byteLocked_) {
        const uint8_t* w = twoSlots + byteOffset_;
        if (startsWithStartPattern(w)) {
            for (int k = 0; k < 8; ++k)
                byteBits_[k] = w[5 + 2 * k];
            return true;
        }
        byteLocked_ = false;
        return false;
    }

    // Search the newer slot first: current symbols, then the previous ones.
    uint8_t search[2 * kSlotSymbols];
    for (int j = 0; j < kSlotSymbols; ++j) {
        search[j] = symbolGroup_[j];
        search[kSlotSymbols + j] = prevSymbolGroup_[j];
    }
    for (int p = 0; p < kSearchPositions; ++p) {
        if (startsWithStartPattern(search + p)) {
            byteLocked_ = true;
            byteOffset_ = p;
            return false;
        }
    }
    return false;
}

void FrameSync::pushHeaderBit(uint64_t bit) {
    shiftIn(history_, bit);
    shiftIn(heard_, 1);
}

int FrameSync::headerScore() const {
    int heard = 0, differing = 0;
    for (int w = 0; w < 3; ++w) {
        heard += std::popcount(heard_[w]);
        differing += std::popcount((history_[w] ^ headerPatternWords[w]) & heard_[w]);
    }
    return heard - 2 * differing;
}

int FrameSync::headerHistoryBit(int j) const {
    if (j < 0 || j >= kHeaderBits) return 0;
    return static_cast<int>((history_[j / 64] >> (j % 64)) & 1u);
}

void FrameSync::searchHeader() {
    if (!heardByte_) return; // byteBits still holds its start value, not a received byte
    for (int k = 0; k < 8; ++k) {
        pushHeaderBit(byteBits_[k]);
        if (headerScore() >= kHeaderThreshold) {
            inFrame_ = true;
            frameBitCount_ = 0;
        }
    }
}

} // namespace nimbo
