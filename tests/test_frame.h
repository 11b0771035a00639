// SPDX-License-Identifier: GPL-3.0-or-later
// Telemetry frames built by hand for tests, and loading them into the core.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/nimbo_core.h"
#include "decode/crc16.h"

namespace nimbo {

using Bytes = std::vector<uint8_t>;

// A 220-byte frame built by hand, with the three block CRCs computed over it.
struct Frame {
    Bytes b = Bytes(kFrameBytes, 0);

    Frame() {
        setSerial("K1234567");
        setU16(32, 1000);
        b[47] = 3;
        const int32_t sensors[8] = {700, 1100, 1450, 1200, 1200, 200, 100, 300};
        for (int i = 0; i < 8; ++i)
            setSensor(i, sensors[i]);
        for (int i = 96; i <= 217; ++i)
            b[i] = static_cast<uint8_t>(i * 7);
    }
    void setSerial(const char* s) { std::memcpy(&b[36], s, 8); }
    void setU16(int at, unsigned v) {
        b[at] = v & 0xFF;
        b[at + 1] = (v >> 8) & 0xFF;
    }
    void setSensor(int ch, uint32_t v) {
        for (int k = 0; k < 3; ++k)
            b[68 + 3 * ch + k] = (v >> (8 * k)) & 0xFF;
    }
    // Seals all three blocks, then spoils those asked for.
    Frame& seal(bool sondeOk = true, bool sensorOk = true, bool gpsOk = true) {
        const int ranges[3][2] = {{32, 63}, {68, 91}, {96, 217}};
        const bool ok[3] = {sondeOk, sensorOk, gpsOk};
        for (int r = 0; r < 3; ++r) {
            const auto [first, last] = ranges[r];
            uint16_t crc = crc16CcittFalse(&b[first], last - first + 1);
            if (!ok[r]) crc ^= 0x0001;
            setU16(last + 1, crc);
        }
        return *this;
    }
};

// Hands the frame to the core as frameBits cells and decodes it.
inline void decode(NimboCore& core, const Frame& f) {
    uint8_t bits[kFrameBits];
    unpackFrameBytes(f.b.data(), bits);
    core.decodeFrame(bits);
}

} // namespace nimbo
