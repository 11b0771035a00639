// SPDX-License-Identifier: GPL-3.0-or-later
// A frame received from a real RS41 (published, descrambled, 320 bytes), and frames made from
// it for tests and benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace nimbo::rs41::test {

// Sonde K1930293, frame 5910, calibration subframe 44, GPS week 1800, time of week
// 131874000 ms (2014-07-07 12:37:38 UTC), 46.05026 N 16.11077 E, 28410.0 m above the
// ellipsoid, falling at 36.2 m/s, 8 satellites; every CRC holds, both codewords are clean.
inline constexpr std::string_view kRealFrameHex =
    "8635f44093df1a602c87e0fa0521e8943d9cef4c7a67393f6d39fb546461f2111b6447ab79a746c80350cda5"
    "344157f8c0c12234f46902220f792816174b313933303239331a00000300000a00002f0007322ce53e31991a"
    "bf12dada3eb68468c16755d51c7a2a15310216060245f302000d08a31607821e08bb210219060243f3020000"
    "00000000000000000000000000220d7c1e0807d03cdc071fd81ddb19d70a8d0eb602b60cb518d40692ff00ff"
    "00ff001c277d59b8d83301ff0f881f0f38f4fe18b283038735ff000000003eb8ff4947201e6e3aff55415f13"
    "fc6e005440440cf100009e9f7406f85800832b631719d70010bebc172a8b0000000000000000000000000000"
    "0000000000000000a48b7b15366181193ef05d07e1245b1be0f721f801f60804107b0b761100000000000000"
    "00000000000000000000ecc7";

inline constexpr int kRealFrameBytes = 320;

constexpr std::array<uint8_t, kRealFrameBytes> realFrame() {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::array<uint8_t, kRealFrameBytes> f{};
    for (int i = 0; i < kRealFrameBytes; ++i)
        f[i] = static_cast<uint8_t>(nibble(kRealFrameHex[2 * i]) << 4 |
                                    nibble(kRealFrameHex[2 * i + 1]));
    return f;
}
static_assert(kRealFrameHex.size() == 2 * kRealFrameBytes);

} // namespace nimbo::rs41::test
