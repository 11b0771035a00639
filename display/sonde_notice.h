// SPDX-License-Identifier: GPL-3.0-or-later
// The line the RS92's own windows (Data, Cal) show while the RS41 is the sonde chosen.
#pragma once

namespace nimbo {

inline constexpr const char* kRs92WindowNotice =
    "RS92 window: with the RS41 chosen in the device dialog, nothing is shown here";

} // namespace nimbo
