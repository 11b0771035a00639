// SPDX-License-Identifier: GPL-3.0-or-later
// I/Q formats: the encoding of full-scale values, by hand so that it is the same on any host.
#include "tools/synth/iq_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace nimbo::synth {

bool parseIqFormat(const std::string& name, IqFormat& format) {
    if (name == "u8")
        format = IqFormat::U8;
    else if (name == "s16")
        format = IqFormat::S16;
    else if (name == "f32")
        format = IqFormat::F32;
    else
        return false;
    return true;
}

int iqBytesPerValue(IqFormat format) {
    switch (format) {
    case IqFormat::U8:
        return 1;
    case IqFormat::S16:
        return 2;
    case IqFormat::F32:
        return 4;
    case IqFormat::None:
        break;
    }
    return 0;
}

void encodeIq(const float* values, std::size_t count, IqFormat format, unsigned char* bytes) {
    switch (format) {
    case IqFormat::U8:
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = static_cast<unsigned char>(
                std::clamp(std::round(127.5 + 127.5 * double{values[i]}), 0.0, 255.0));
        break;
    case IqFormat::S16:
        for (std::size_t i = 0; i < count; ++i) {
            const auto v = static_cast<uint16_t>(static_cast<int16_t>(
                std::clamp(std::round(32767.0 * double{values[i]}), -32768.0, 32767.0)));
            bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        break;
    case IqFormat::F32:
        for (std::size_t i = 0; i < count; ++i) {
            const auto v = std::bit_cast<uint32_t>(values[i]);
            for (int b = 0; b < 4; ++b)
                bytes[4 * i + b] = static_cast<unsigned char>(v >> (8 * b) & 0xFF);
        }
        break;
    case IqFormat::None:
        break;
    }
}

} // namespace nimbo::synth
