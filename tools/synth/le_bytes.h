// SPDX-License-Identifier: GPL-3.0-or-later
// Little-endian numbers put into frame bytes, as both sondes store them.
#pragma once

#include <cstdint>

namespace nimbo::synth {

inline void putLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void putLE24(uint8_t* p, uint32_t v) {
    putLE16(p, v);
    p[2] = static_cast<uint8_t>(v >> 16);
}

inline void putLE32(uint8_t* p, uint32_t v) {
    putLE16(p, v);
    putLE16(p + 2, v >> 16);
}

} // namespace nimbo::synth
