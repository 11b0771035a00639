// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rs41_json.h"

namespace nimbo {
namespace {

void writeHex(std::FILE* out, std::span<const uint8_t> bytes) {
    std::fputc('"', out);
    for (const uint8_t b : bytes)
        std::fprintf(out, "%02X", b);
    std::fputc('"', out);
}

} // namespace

void writeRs41Json(std::FILE* out, const rs41::Rs41Frame& f) {
    std::fputs("{\"type\":\"RS41\"", out);
    if (f.hasStatus) {
        // Unprintable serial bytes are already '?': the text needs no escapes but these.
        std::fprintf(out, ",\"frame\":%u,\"serial\":\"", static_cast<unsigned>(f.frameNumber));
        for (const char* p = f.serial.data(); *p; ++p) {
            if (*p == '"' || *p == '\\') std::fputc('\\', out);
            std::fputc(*p, out);
        }
        std::fputc('"', out);
    }
    if (f.hasCalibration) std::fprintf(out, ",\"subframe\":%d", f.subframe);
    std::fprintf(out, ",\"crc_ok\":%s,\"corrected\":%d", f.walk.allCrcOk ? "true" : "false",
                 f.correction.corrected);
    if (f.hasPosition)
        std::fprintf(out,
                     ",\"lat\":%.6f,\"lon\":%.6f,\"alt\":%.2f,\"vel_h\":%.2f,\"heading\":%.1f,"
                     "\"vel_v\":%.2f,\"sats\":%d",
                     f.position.latitudeDeg, f.position.longitudeDeg, f.position.heightM,
                     f.motion.horizontal, f.motion.headingDeg, f.motion.up, f.satellites);
    if (f.hasTime) std::fprintf(out, ",\"datetime\":\"%s\"", f.datetime.data());
    if (f.hasFrequency) std::fprintf(out, ",\"freq_mhz\":%.5f", f.frequencyMHz);
    if (const rs41::Block* meas = rs41::findBlock(f, rs41::kMeasurementBlock)) {
        std::fputs(",\"meas\":", out);
        writeHex(out, rs41::blockData(f, *meas));
    }
    if (const rs41::Block* x = rs41::findBlock(f, rs41::kXdataBlock)) {
        std::fputs(",\"xdata\":", out);
        writeHex(out, rs41::blockData(f, *x));
    }
    std::fputs("}\n", out);
}

} // namespace nimbo
