// SPDX-License-Identifier: GPL-3.0-or-later
// The modified Bessel function I0, for Kaiser-windowed filter designs.
#pragma once

namespace nimbo {

// Its power series, summed until a term no longer counts.
inline double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

} // namespace nimbo
