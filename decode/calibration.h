// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration collection: the 32 pieces of 16 bytes a sonde sends one per frame, gathered
// into its 512-byte table, and the 66 coefficients decoded from the complete table.
#pragma once

#include <array>
#include <cstdint>

#include "decode/frame_layout.h"

namespace nimbo {

class CalibrationCollection {
  public:
    static constexpr int kPieces = 32;
    static constexpr int kPieceBytes = frame::kCalPieceLength;
    static constexpr int kTableBytes = kPieces * kPieceBytes;
    static constexpr int kCoefficients = 66;
    static constexpr int kWords = 19;
    static constexpr int kDisplayBytes = 440; // the part of the table the data display shows

    // Stores piece `index`; indices outside 0..31 are ignored. True when this piece
    // completed the table, whose coefficients are then decoded.
    bool addPiece(int index, const uint8_t* piece);
    // Decodes the 66 coefficients from the table as it stands.
    void decodeCoefficients();
    // Takes the copies the frame data display shows (table bytes and words).
    void takeDisplayCopy();
    // Back to an empty table.
    void clear();

    int received() const;
    bool allReceived() const { return received() == kPieces; }
    // ProgressBar1 in percent, truncated (96 for 31 pieces).
    int progress() const;

    const std::array<bool, kPieces>& calReceived() const { return calReceived_; }
    const std::array<uint8_t, kTableBytes>& calTable() const { return calTable_; }
    bool calComplete() const { return calComplete_; }
    const std::array<double, kCoefficients>& calCoefficients() const { return calCoefficients_; }
    const std::array<uint32_t, kWords>& calWords() const { return calWords_; }
    const std::array<uint8_t, kDisplayBytes>& calDisplayBytes() const { return calDisplayBytes_; }

    // Entry n of the coefficient list: its index byte and its value.
    uint8_t coefficientIndexByte(int n) const;

  private:
    std::array<bool, kPieces> calReceived_{};
    std::array<uint8_t, kTableBytes> calTable_{};
    bool calComplete_ = false;
    std::array<double, kCoefficients> calCoefficients_{};
    std::array<uint32_t, kWords> calWords_{};
    std::array<uint8_t, kDisplayBytes> calDisplayBytes_{};
};

// A little-endian IEEE single-precision pattern as a double; zero, subnormal, infinite
// and NaN patterns give 0.0.
double decodeCoefficient(const uint8_t* fourBytes);

// Calibration progress in percent for `received` of 32 pieces, truncated (96 for 31).
int calibrationProgress(int received);

} // namespace nimbo
