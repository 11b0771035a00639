// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/frame_json.h"

#include <algorithm>

namespace nimbo {
namespace {

// The serial is 8 raw bytes up to the first NUL; anything outside printable ASCII is
// escaped so the line stays valid JSON whatever the sonde sent.
void writeJsonString(std::FILE* out, const char* text) {
    std::fputc('"', out);
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\')
            std::fprintf(out, "\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            std::fprintf(out, "\\u%04X", c);
        else
            std::fputc(c, out);
    }
    std::fputc('"', out);
}

const char* jsonBool(bool b) {
    return b ? "true" : "false";
}

} // namespace

void writeFrameJson(std::FILE* out, const NimboCore& core) {
    std::fprintf(out, "{\"frame\":%u,\"serial\":", static_cast<unsigned>(core.frame().frameNumber));
    writeJsonString(out, core.frame().serialNumber);
    std::fprintf(out, ",\"sonde_ok\":%s,\"sensor_ok\":%s,\"gps_ok\":%s,\"cal_index\":%u,\"raw\":[",
                 jsonBool(core.frame().sondeBlockOk), jsonBool(core.frame().sensorBlockOk),
                 jsonBool(core.frame().gpsBlockOk), static_cast<unsigned>(core.frame().calIndex));
    for (std::size_t i = 0; i < core.frame().sensorRaw.size(); ++i)
        std::fprintf(out, "%s%d", i ? "," : "", core.frame().sensorRaw[i]);
    std::fputs("],\"normalised\":[", out);
    for (std::size_t i = 0; i < core.frame().normalisedChannels.size(); ++i)
        std::fprintf(out, "%s%.17g", i ? "," : "", core.frame().normalisedChannels[i]);
    std::fputc(']', out);
    if (core.frame().txFreqSetThisFrame)
        std::fprintf(out, ",\"freq_mhz\":%.2f", core.frame().txFreqMHz);
    // Weak-signal receiver only: bytes the Reed-Solomon repair changed (0 when it could not).
    if (core.settings().Weak)
        std::fprintf(out, ",\"corrected\":%d", std::max(core.frame().rsCorrected, 0));
    std::fputs(",\"bytes\":\"", out);
    for (uint8_t b : core.frame().frameBytes)
        std::fprintf(out, "%02X", b);
    std::fputs("\"}\n", out);
}

} // namespace nimbo
