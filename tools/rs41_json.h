// SPDX-License-Identifier: GPL-3.0-or-later
// One RS41 frame as a line of JSON, for nimbo-decode's output.
#pragma once

#include <cstdio>

#include "rs41/rs41_frame.h"

namespace nimbo {

// Writes {"type":"RS41","frame":..,"serial":..,"subframe":..,"crc_ok":..,"corrected":..,
// "lat":..,"lon":..,"alt":..,"vel_h":..,"heading":..,"vel_v":..,"sats":..,"datetime":..,
// ("freq_mhz":..,)"meas":"<hex>",("xdata":"<hex>")} and a newline. Fields whose block did
// not arrive whole are left out; "corrected" is -1 when the correction failed.
void writeRs41Json(std::FILE* out, const rs41::Rs41Frame& frame);

} // namespace nimbo
