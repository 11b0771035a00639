// SPDX-License-Identifier: GPL-3.0-or-later
// One decoded frame as a line of JSON, for nimbo-decode's output.
#pragma once

#include <cstdio>

#include "core/nimbo_core.h"

namespace nimbo {

// Writes {"frame":..,"serial":..,"sonde_ok":..,"sensor_ok":..,"gps_ok":..,"cal_index":..,
// "raw":[8],"normalised":[8],("freq_mhz":..,)("corrected":..,)"bytes":"<440 hex>"} and a
// newline; "corrected" only with the weak-signal receiver.
void writeFrameJson(std::FILE* out, const NimboCore& core);

} // namespace nimbo
