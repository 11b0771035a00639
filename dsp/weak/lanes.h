// SPDX-License-Identifier: GPL-3.0-or-later
// Sums of products in eight lanes side by side: a plain loop's sum is one chain of
// additions, each waiting for the one before; eight chains run at once (the order of the
// additions differs, the result by rounding only).
#pragma once

#include <cstring>

namespace nimbo::weak {

using Float8 = float __attribute__((vector_size(32)));
inline constexpr int kLanes = 8;

// (Vectors pass by reference: by value, their ABI would depend on whether AVX is on.)
inline void load8(Float8& v, const float* p) {
    std::memcpy(&v, p, sizeof v);
}

inline float laneSum(const Float8& v) {
    return ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
}

// The sum of w[k] x[k] over k < n, n a multiple of kLanes.
inline float dot8(const float* w, const float* x, int n) {
    Float8 acc{}, a, b;
    for (int k = 0; k < n; k += kLanes) {
        load8(a, w + k);
        load8(b, x + k);
        acc += a * b;
    }
    return laneSum(acc);
}

} // namespace nimbo::weak
