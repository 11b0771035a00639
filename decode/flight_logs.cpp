// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/flight_logs.h"

#include <cstdio>

#include "decode/log_files.h"

namespace nimbo {
namespace {

constexpr const char* kSensorHeader = "FrameNo,Temp,Humd1,Humd2,Ref,Ref,Press,Ref,Ref";

} // namespace

bool FlightLogs::noteWrite(bool ok, const std::string& error) {
    if (ok) {
        stepWrote_ = true;
    } else if (!stepFailed_) {
        stepFailed_ = true;
        stepError_ = error;
    }
    return ok;
}

void FlightLogs::settle() {
    if (stepFailed_) {
        failure_.text = stepError_;
        if (!failure_.active) ++failure_.episodes;
        failure_.active = true;
    } else if (stepWrote_) {
        failure_.active = false;
    }
    stepWrote_ = stepFailed_ = false;
}

bool FlightLogs::logFrame(const DecodedFrame& frame) {
    // 220 bytes as "HH," pairs without the last comma: 659 characters.
    char raw[kFrameBytes * 3];
    for (int n = 0; n < kFrameBytes; ++n)
        std::snprintf(raw + 3 * n, 4, n + 1 < kFrameBytes ? "%02X," : "%02X", frame.frameBytes[n]);
    std::string error;
    const bool rawOk = noteWrite(
        appendLine(sondeFilePath(folder_, "raw", frame.serialNumber, ".txt"), raw, &error), error);

    const std::string sensorPath = sondeFilePath(folder_, "sens", frame.serialNumber, ".csv");
    const auto& s = frame.sensorRaw;
    char line[128];
    std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,%d,%d,%d,%d",
                  static_cast<int>(frame.frameNumber), s[0], s[1], s[2], s[3], s[4], s[5], s[6],
                  s[7]);
    // The header goes with the first line, in one write: neither lands without the other.
    const bool sensorOk = noteWrite(appendLine(sensorPath, line, &error, kSensorHeader), error);
    return rawOk && sensorOk;
}

bool FlightLogs::writeCalibrationFiles(const char* serial, const CalibrationCollection& cal) {
    using Cal = CalibrationCollection;
    std::string error;
    bool ok = true;
    const std::string rawPath = sondeFilePath(folder_, "calraw", serial, ".txt");
    if (!fileExists(rawPath)) {
        std::string text;
        for (int k = 0; k < Cal::kPieces; ++k) {
            for (int i = 0; i < Cal::kPieceBytes; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, i ? ",%02X" : "%02X",
                              cal.calTable()[k * Cal::kPieceBytes + i]);
                text += hex;
            }
            if (k + 1 < Cal::kPieces) text += '\n';
        }
        ok = noteWrite(writeWholeFile(rawPath, text, &error), error);
    }

    const std::string dataPath = sondeFilePath(folder_, "caldata", serial, ".txt");
    if (!fileExists(dataPath)) {
        std::string text;
        for (int n = 0; n < Cal::kCoefficients; ++n) {
            char line[64];
            std::snprintf(line, sizeof line, "%02d,%02X,%0.10f", n, cal.coefficientIndexByte(n),
                          cal.calCoefficients()[n]);
            text += line;
            if (n + 1 < Cal::kCoefficients) text += '\n';
        }
        ok = noteWrite(writeWholeFile(dataPath, text, &error), error) && ok;
    }
    return ok;
}

} // namespace nimbo
