// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol decisions, byte alignment, header search and frame collection.
#pragma once

#include <array>
#include <cstdint>

namespace nimbo {

inline constexpr int kFrameBits = 1760; // 220 content bytes
inline constexpr int kFrameBytes = kFrameBits / 8;

// Told when the 1760th bit of a frame has been stored in frameBits.
class FrameListener {
  public:
    virtual void frameComplete() = 0;

  protected:
    ~FrameListener() = default;
};

class FrameSync {
  public:
    static constexpr int kSlotSymbols = 20;     // one byte: 10 bits of 2 symbols
    static constexpr int kSearchPositions = 37; // start pattern searched at 0..36
    static constexpr int kHeaderBits = 160;
    static constexpr int kHeaderThreshold = 120; // of 160: at most 20 bits differ

    explicit FrameSync(FrameListener* listener = nullptr) : listener_(listener) {}
    void setListener(FrameListener* listener) { listener_ = listener; }

    // One symbol decision on the DC-blocked value y at a clock tick.
    void ProcessSymbol(double y);
    // Copies kFrameBits cells of 0/1 into frameBits (a frame handed over from elsewhere).
    void loadFrameBits(const uint8_t* cells);
    // Back to the state of a new FrameSync; the listener stays.
    void reset();

    // Header correlation score of the current history: matches minus mismatches, over
    // the places filled since the start or a reset (all 160 once that many bits came).
    int headerScore() const;
    // Bit j (0 oldest .. 159 newest) of the header history.
    int headerHistoryBit(int j) const;

    // Frame content: bit k of content byte n at 8n + k, k = 0 first on the air.
    const std::array<uint8_t, kFrameBits>& frameBits() const { return frameBits_; }
    int frameBitCount() const { return frameBitCount_; } // bits stored, 0..1760
    bool inFrame() const { return inFrame_; }            // a header was found, bits go in

    // This slot's symbols (0/1) so far and the previous slot's, the count in this slot
    // (0..19), and the byte aligner: locked, at which symbol (0..36), its last byte.
    const std::array<uint8_t, kSlotSymbols>& symbolGroup() const { return symbolGroup_; }
    const std::array<uint8_t, kSlotSymbols>& prevSymbolGroup() const { return prevSymbolGroup_; }
    int symbolCount() const { return symbolCount_; }
    bool byteLocked() const { return byteLocked_; }
    int byteOffset() const { return byteOffset_; }
    const std::array<uint8_t, 8>& byteBits() const { return byteBits_; }

  private:
    bool alignByte(); // true when byteBits holds a byte read in this slot
    void searchHeader();
    void pushHeaderBit(uint64_t bit);

    std::array<uint8_t, kFrameBits> frameBits_{};
    int frameBitCount_ = 0;
    bool inFrame_ = false;
    std::array<uint8_t, kSlotSymbols> symbolGroup_{};
    std::array<uint8_t, kSlotSymbols> prevSymbolGroup_{};
    int symbolCount_ = 0;
    bool byteLocked_ = false;
    int byteOffset_ = 0;
    std::array<uint8_t, 8> byteBits_{};

    FrameListener* listener_;
    // headerHistory packed: bit j of the 160 lives in word j / 64 at position j % 64.
    uint64_t history_[3] = {};
    // Places of the history filled since the start or a reset, packed alike. A place not
    // yet filled counts neither way: taken as 0 it would match most of the header (130 of
    // its 160 bits are 0), and a history that had heard only part of a header could fire
    // inside it. Nothing is pushed before the aligner has read its first byte.
    uint64_t heard_[3] = {};
    bool heardByte_ = false;
};

// The 160 header bits in order of arrival, packed like the history.
extern const uint64_t headerPatternWords[3];
// The 20-byte frame header, first-arriving bit of each byte least significant.
inline constexpr std::array<uint8_t, 20> headerPatternBytes = {
    0x68, 0x05, 0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xB2, 0x7D, 0xFF, 0x02, 0x02, 0x00, 0x02, 0x00};

} // namespace nimbo
