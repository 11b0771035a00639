// SPDX-License-Identifier: GPL-3.0-or-later
// CRC-16/CCITT-FALSE: poly 0x1021, preset 0xFFFF, MSB first, no reflection, no final XOR.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbo {

uint16_t crc16CcittFalse(const uint8_t* data, std::size_t length);

} // namespace nimbo
