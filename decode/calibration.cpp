// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/calibration.h"

#include <algorithm>
#include <cmath>

namespace nimbo {
namespace {

constexpr int kCoefficientTable = 64; // entry n: index byte at 64 + 5n, value at 65 + 5n
constexpr int kEntryBytes = 5;

// calWords: word 0 from table bytes 2-3, words 1-2 from 8-11, words 3-18 from 32-63.
constexpr int kWordOffsets[CalibrationCollection::kWords] = {2,  8,  10, 32, 34, 36, 38, 40, 42, 44,
                                                             46, 48, 50, 52, 54, 56, 58, 60, 62};

} // namespace

double decodeCoefficient(const uint8_t* b) {
    const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
    const int exponent = (bits >> 23) & 0xFF;
    if (exponent == 0 || exponent == 0xFF) return 0.0;
    const double mantissa = 1.0 + (bits & 0x7FFFFF) / 8388608.0; // 2^23
    const double magnitude = std::ldexp(mantissa, exponent - 127);
    return (bits >> 31) ? -magnitude : magnitude;
}

int calibrationProgress(int received) {
    return static_cast<int>(received * 0.03125 * 100);
}

bool CalibrationCollection::addPiece(int index, const uint8_t* piece) {
    if (index < 0 || index >= kPieces) return false;
    calReceived_[index] = true;
    std::copy(piece, piece + kPieceBytes, calTable_.begin() + index * kPieceBytes);
    if (calComplete_ || !allReceived()) return false;
    calComplete_ = true;
    decodeCoefficients();
    return true;
}

void CalibrationCollection::decodeCoefficients() {
    for (int n = 0; n < kCoefficients; ++n)
        calCoefficients_[n] =
            decodeCoefficient(&calTable_[kCoefficientTable + kEntryBytes * n + 1]);
}

uint8_t CalibrationCollection::coefficientIndexByte(int n) const {
    return calTable_[kCoefficientTable + kEntryBytes * n];
}

void CalibrationCollection::takeDisplayCopy() {
    std::copy_n(calTable_.begin(), kDisplayBytes, calDisplayBytes_.begin());
    for (int w = 0; w < kWords; ++w)
        calWords_[w] = calTable_[kWordOffsets[w]] | (calTable_[kWordOffsets[w] + 1] << 8);
}

void CalibrationCollection::clear() {
    *this = CalibrationCollection{};
}

int CalibrationCollection::received() const {
    return static_cast<int>(std::count(calReceived_.begin(), calReceived_.end(), true));
}

int CalibrationCollection::progress() const {
    return calibrationProgress(received());
}

} // namespace nimbo
