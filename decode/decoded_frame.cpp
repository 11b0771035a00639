// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/decoded_frame.h"

namespace nimbo {

double normaliseChannel(double value, double refLow, double refHigh) {
    const double span = refHigh - refLow;
    // Coinciding references carry no scale; 0.0 keeps every reader finite.
    if (span == 0.0) return 0.0;
    return (value - refLow) / span;
}

} // namespace nimbo
