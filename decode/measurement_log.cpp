// The per-sonde raw frame log and sensor CSV log, one line each per logged frame.
#include <cstdio>

#include "decode/log_files.h"
#include "decode/nimbo_core.h"

namespace nimbo {
namespace {

constexpr const char* kSensorHeader = "FrameNo,Temp,Humd1,Humd2,Ref,Ref,Press,Ref,Ref";

} // namespace

void NimboCore::logFrame() {
    // 220 bytes as "HH," pairs without the last comma: 659 characters.
    char raw[kFrameBytes * 3];
    for (int n = 0; n < kFrameBytes; ++n)
        std::snprintf(raw + 3 * n, 4, n + 1 < kFrameBytes ? "%02X," : "%02X", frameBytes[n]);
    appendLine(sondeFilePath(programFolder, "raw", serialNumber, ".txt"), raw);

    const std::string sensorPath = sondeFilePath(programFolder, "sens", serialNumber, ".csv");
    char line[128];
    std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,%d,%d,%d,%d", static_cast<int>(frameNumber),
                  sensorRaw[0], sensorRaw[1], sensorRaw[2], sensorRaw[3], sensorRaw[4],
                  sensorRaw[5], sensorRaw[6], sensorRaw[7]);
    if (!fileExists(sensorPath)) appendLine(sensorPath, kSensorHeader);
    appendLine(sensorPath, line);
}

} // namespace nimbo
