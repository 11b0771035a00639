// Calibration collection: 32 pieces of 16 bytes into the table, the 66 coefficients
// decoded from it, and the two calibration files written once per sonde.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "decode/log_files.h"
#include "decode/nimbo_core.h"

namespace nimbo {
namespace {

constexpr int kPieceBytes = 16;
constexpr int kCoefficientTable = 64; // entry n: index byte at 64 + 5n, value at 65 + 5n
constexpr int kEntryBytes = 5;

// calWords: word 0 from table bytes 2-3, words 1-2 from 8-11, words 3-18 from 32-63.
constexpr int kWordOffsets[NimboCore::kCalWords] = {2,  8,  10, 32, 34, 36, 38, 40, 42, 44,
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

void NimboCore::collectCalibrationPiece(int index, const uint8_t* piece) {
    if (index < 0 || index >= kCalPieces) return;
    calReceived[index] = true;
    std::copy(piece, piece + kPieceBytes, calTable.begin() + index * kPieceBytes);

    const int received = static_cast<int>(std::count(calReceived.begin(), calReceived.end(), true));
    if (received < kCalPieces) {
        readout.ProgressBar1 = calibrationProgress(received);
        return;
    }
    calComplete = true;
    readout.ProgressBar1 = 100;
    completeCalibration();
    if (!batchMode) {
        std::copy(calTable.begin(), calTable.begin() + kCalDisplayBytes, calDisplayBytes.begin());
        for (int w = 0; w < kCalWords; ++w)
            calWords[w] = calTable[kWordOffsets[w]] | (calTable[kWordOffsets[w] + 1] << 8);
        if (hooks_->frameDisplayShowing()) hooks_->frameDisplayRefresh();
    }
}

void NimboCore::completeCalibration() {
    for (int n = 0; n < kCalCoefficients; ++n)
        calCoefficients[n] = decodeCoefficient(&calTable[kCoefficientTable + kEntryBytes * n + 1]);
    if (loggingOn) writeCalibrationFiles();
}

void NimboCore::loggingSwitched(bool down) {
    loggingOn = down;
    if (down && std::all_of(calReceived.begin(), calReceived.end(), [](bool r) { return r; }))
        completeCalibration();
}

// Each file is written once per serial number; an existing one is left untouched.
void NimboCore::writeCalibrationFiles() {
    const std::string rawPath = sondeFilePath(programFolder, "calraw", serialNumber, ".txt");
    if (!fileExists(rawPath)) {
        std::string text;
        for (int k = 0; k < kCalPieces; ++k) {
            for (int i = 0; i < kPieceBytes; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, i ? ",%02X" : "%02X", calTable[k * kPieceBytes + i]);
                text += hex;
            }
            if (k + 1 < kCalPieces) text += '\n';
        }
        appendLine(rawPath, text);
    }

    const std::string dataPath = sondeFilePath(programFolder, "caldata", serialNumber, ".txt");
    if (!fileExists(dataPath)) {
        std::string text;
        for (int n = 0; n < kCalCoefficients; ++n) {
            char line[64];
            std::snprintf(line, sizeof line, "%02d,%02X,%0.10f", n,
                          calTable[kCoefficientTable + kEntryBytes * n], calCoefficients[n]);
            text += line;
            if (n + 1 < kCalCoefficients) text += '\n';
        }
        appendLine(dataPath, text);
    }
}

} // namespace nimbo
