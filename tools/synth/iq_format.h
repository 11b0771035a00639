// SPDX-License-Identifier: GPL-3.0-or-later
// I/Q sample formats of nimbo-synth: names, sizes and the encoding of full-scale values
// into little-endian bytes.
#pragma once

#include <cstddef>
#include <string>

#include "tools/synth/synth.h"

namespace nimbo::synth {

// "u8", "s16" or "f32"; false for any other name.
bool parseIqFormat(const std::string& name, IqFormat& format);

// Bytes per I or Q value: 1, 2 or 4 (0 for None).
int iqBytesPerValue(IqFormat format);

// Encodes `count` values x (full scale +-1) as `format`, count * iqBytesPerValue bytes:
// u8 round(127.5 + 127.5 x) clipped to 0..255 (offset binary, as rtl_sdr writes),
// s16 round(32767 x) clipped to -32768..32767, f32 x as it is; little-endian on any host.
void encodeIq(const float* values, std::size_t count, IqFormat format, unsigned char* bytes);

} // namespace nimbo::synth
